// The system's dialog calls that the plug-in's dialogs use, with the Win32
// names and meanings: finding a dialog template among the module's
// resources, running it modally, and reading and writing its controls.
//
// Windows makes the real calls. Elsewhere the templates come from the
// module's resources compiled to a .res file and embedded in the binary
// (the same bytes the DLL carries), and the dialogs run headless in the
// stand-in host's window system, where a host program or a test drives
// them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

using HWindow = void*;
using HModule = void*;
using HResource = void*;
using DialogProcedure = std::intptr_t (*)(HWindow dialog, unsigned message, std::uintptr_t wParam,
                                          std::intptr_t lParam);

// Messages and values the dialogs use.
inline constexpr unsigned kWmInitDialog = 0x0110;
inline constexpr unsigned kWmCommand = 0x0111;
inline constexpr unsigned kWmTimer = 0x0113;
inline constexpr unsigned kWmClose = 0x0010;
inline constexpr unsigned kDialogResourceType = 5;    // RT_DIALOG
inline constexpr unsigned kRawDataResourceType = 10;  // RT_RCDATA

// A dialog resource of that name and language in the module (null: the
// program itself), or null.
HResource FindResourceExW(HModule module, unsigned type, const char16_t* name,
                          std::uint16_t language);
void* LoadResource(HModule module, HResource resource);
const void* LockResource(void* loaded);
std::uint32_t SizeofResource(HModule module, HResource resource);

// Runs the dialog modally; the value given to EndDialog, or -1 when it
// could not be shown.
std::intptr_t DialogBoxIndirectParamW(HModule module, const void* dialogTemplate, HWindow parent,
                                      DialogProcedure procedure, std::intptr_t param);
HWindow GetDlgItem(HWindow dialog, int id);
bool SetWindowTextW(HWindow window, const char16_t* text);
// Copies at most `maxCount` - 1 characters and a terminating zero; the
// number of characters copied.
int GetWindowTextW(HWindow window, char16_t* text, int maxCount);
bool CheckDlgButton(HWindow dialog, int id, bool checked);
bool IsDlgButtonChecked(HWindow dialog, int id);
// Puts the keyboard focus on the dialog's item `id`.
bool FocusDlgItem(HWindow dialog, int id);
bool EndDialog(HWindow dialog, std::intptr_t result);
bool SetTimer(HWindow dialog, std::uintptr_t id, unsigned periodMs);
bool KillTimer(HWindow dialog, std::uintptr_t id);

// Where the embedded resources of this binary are (systems without
// resources in their binaries); set once by the embedded resource object.
void RegisterEmbeddedResources(const unsigned char* bytes, std::size_t size);

}  // namespace platform
