// Dialogs as the host sees them: a way to drive a modal dialog the way a
// user would (type into a field, tick a box, press a button, wait for a
// timer tick, use the close box), for tests and host programs, on every
// system; and, on systems without a window system of their own, the
// headless window system that the plug-in's dialogs then run in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "host/kx_device_interfaces.h"
#include "host/kx_export.h"

using KxDialogProcedure = std::intptr_t (*)(KxWindow dialog, unsigned message,
                                            std::uintptr_t wParam, std::intptr_t lParam);

namespace host {

// Whether dialogs appear on a screen a user can work (Windows) or run
// headless (elsewhere, and under Wine's null graphics driver).
KX_HOST_API bool HasWindowSystem();

// ---- Driving dialogs.
// Called once for each modal dialog that opens while it is set, once the
// dialog has been initialised and has handled what it posted itself. The
// driver acts through the functions below, each of which is carried out
// completely before it returns. A dialog still open when the driver returns
// is closed with its close box and, if that does not end it, with Cancel.
// Without a driver, a headless dialog cannot be shown (-1); on Windows the
// dialog is left to the user.
using DialogDriver = std::function<void(KxWindow dialog)>;
KX_HOST_API void SetDialogDriver(DialogDriver driver);

KX_HOST_API bool IsDialogOpen(KxWindow dialog);
KX_HOST_API std::u16string DialogCaption(KxWindow dialog);
KX_HOST_API std::u16string DialogItemText(KxWindow dialog, int id);
// Replaces the text of a field, as typing would.
KX_HOST_API void TypeIntoDialogItem(KxWindow dialog, int id, const std::u16string& text);
KX_HOST_API bool IsDialogItemChecked(KxWindow dialog, int id);
// The item that has the keyboard focus (0 for none).
KX_HOST_API int FocusedDialogItem(KxWindow dialog);
// Clicks a check box until it shows `checked`.
KX_HOST_API void SetDialogItemChecked(KxWindow dialog, int id, bool checked);
// A button click: the command (id, notification 0).
KX_HOST_API void ClickDialogButton(KxWindow dialog, int id);
// Any command, by its first parameter (the Escape key sends id 2).
KX_HOST_API void SendDialogCommand(KxWindow dialog, std::uintptr_t wParam);
// One tick of the dialog's timer `id`.
KX_HOST_API void TickDialogTimer(KxWindow dialog, std::uintptr_t id);
// The window's close box.
KX_HOST_API void CloseDialogBox(KxWindow dialog);

// A picture of the dialog as it shows now, as a 24-bit BMP file (Windows;
// elsewhere there is nothing to picture and the answer is false).
KX_HOST_API bool SaveDialogPicture(KxWindow dialog, const std::string& bmpPath);
// The dialog as text: its caption, then each control with its id, kind,
// text and check mark, one per line, in template order.
KX_HOST_API std::string DialogAsText(KxWindow dialog);

// ---- The headless window system (systems without one of their own). The
// same calls and meanings as the Win32 ones of the same names.
KX_HOST_API std::intptr_t HeadlessDialogBox(const void* dialogTemplate, std::size_t size,
                                            KxWindow parent, KxDialogProcedure procedure,
                                            std::intptr_t param);
KX_HOST_API KxWindow HeadlessGetDlgItem(KxWindow dialog, int id);
KX_HOST_API bool HeadlessSetWindowText(KxWindow window, const char16_t* text);
KX_HOST_API int HeadlessGetWindowText(KxWindow window, char16_t* text, int maxCount);
KX_HOST_API bool HeadlessCheckDlgButton(KxWindow dialog, int id, bool checked);
KX_HOST_API bool HeadlessIsDlgButtonChecked(KxWindow dialog, int id);
KX_HOST_API bool HeadlessFocusDlgItem(KxWindow dialog, int id);
KX_HOST_API bool HeadlessEndDialog(KxWindow dialog, std::intptr_t result);
KX_HOST_API bool HeadlessSetTimer(KxWindow dialog, std::uintptr_t id, unsigned periodMs);
KX_HOST_API bool HeadlessKillTimer(KxWindow dialog, std::uintptr_t id);
// Queues a message for the dialog; false when the window is not a dialog.
KX_HOST_API bool HeadlessPostMessage(KxWindow window, unsigned message, std::uintptr_t wParam,
                                     std::intptr_t lParam);

}  // namespace host
