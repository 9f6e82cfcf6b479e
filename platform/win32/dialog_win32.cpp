#include <windows.h>

#include "platform/dialog_api.h"

namespace platform {

HResource FindResourceExW(HModule module, unsigned type, const char16_t* name,
                          std::uint16_t language) {
    return ::FindResourceExW(static_cast<HMODULE>(module), MAKEINTRESOURCEW(type),
                             reinterpret_cast<LPCWSTR>(name), language);
}

void* LoadResource(HModule module, HResource resource) {
    return ::LoadResource(static_cast<HMODULE>(module), static_cast<HRSRC>(resource));
}

const void* LockResource(void* loaded) {
    return ::LockResource(static_cast<HGLOBAL>(loaded));
}

std::uint32_t SizeofResource(HModule module, HResource resource) {
    return ::SizeofResource(static_cast<HMODULE>(module), static_cast<HRSRC>(resource));
}

std::intptr_t DialogBoxIndirectParamW(HModule module, const void* dialogTemplate, HWindow parent,
                                      DialogProcedure procedure, std::intptr_t param) {
    // On x64 our procedure has the calling convention and the parameter
    // layout of a DLGPROC (HWND is a pointer, WPARAM and LPARAM are the
    // pointer-sized integers, INT_PTR the result).
    return ::DialogBoxIndirectParamW(
        static_cast<HINSTANCE>(module), static_cast<LPCDLGTEMPLATEW>(dialogTemplate),
        static_cast<HWND>(parent), reinterpret_cast<DLGPROC>(procedure), param);
}

HWindow GetDlgItem(HWindow dialog, int id) {
    return ::GetDlgItem(static_cast<HWND>(dialog), id);
}

bool SetWindowTextW(HWindow window, const char16_t* text) {
    return ::SetWindowTextW(static_cast<HWND>(window), reinterpret_cast<LPCWSTR>(text)) != FALSE;
}

int GetWindowTextW(HWindow window, char16_t* text, int maxCount) {
    return ::GetWindowTextW(static_cast<HWND>(window), reinterpret_cast<LPWSTR>(text), maxCount);
}

bool CheckDlgButton(HWindow dialog, int id, bool checked) {
    return ::CheckDlgButton(static_cast<HWND>(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED) !=
           FALSE;
}

bool IsDlgButtonChecked(HWindow dialog, int id) {
    return ::IsDlgButtonChecked(static_cast<HWND>(dialog), id) == BST_CHECKED;
}

bool FocusDlgItem(HWindow dialog, int id) {
    // WM_NEXTDLGCTL rather than SetFocus: the dialog manager then also
    // moves the default button and selects the field's text.
    HWND item = ::GetDlgItem(static_cast<HWND>(dialog), id);
    if (!item) return false;
    ::SendMessageW(static_cast<HWND>(dialog), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    return true;
}

bool EndDialog(HWindow dialog, std::intptr_t result) {
    return ::EndDialog(static_cast<HWND>(dialog), result) != FALSE;
}

bool SetTimer(HWindow dialog, std::uintptr_t id, unsigned periodMs) {
    return ::SetTimer(static_cast<HWND>(dialog), id, periodMs, nullptr) != 0;
}

bool KillTimer(HWindow dialog, std::uintptr_t id) {
    return ::KillTimer(static_cast<HWND>(dialog), id) != FALSE;
}

// Windows keeps the resources in the module itself.
void RegisterEmbeddedResources(const unsigned char*, std::size_t) {}

}  // namespace platform
