#include <windows.h>

#include <cstdlib>

#include "platform/user_files.h"
#include "platform/win32/system_error_text.h"

namespace platform {

std::string UserConfigFolder() {
    const char* appData = std::getenv("APPDATA");
    return appData ? appData : "";
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to, std::string* error) {
    // The new file's bytes reach the disk before its name replaces the old
    // one (the write-through below covers the move, not the data): a power
    // loss of the computer must not leave an empty file in the old one's
    // place.
    DWORD code = ERROR_SUCCESS;
    const HANDLE file = CreateFileA(from.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        code = GetLastError();
    } else {
        if (!FlushFileBuffers(file)) code = GetLastError();
        CloseHandle(file);
    }
    if (code == ERROR_SUCCESS &&
        !MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = GetLastError();
    if (code == ERROR_SUCCESS) return true;
    if (error) {
        const std::string reason = SystemErrorText(code);
        *error = reason.empty() ? "error " + std::to_string(code) : reason;
    }
    return false;
}

}  // namespace platform
