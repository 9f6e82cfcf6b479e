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
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (error) {
        const DWORD code = GetLastError();
        const std::string reason = SystemErrorText(code);
        *error = reason.empty() ? "error " + std::to_string(code) : reason;
    }
    return false;
}

}  // namespace platform
