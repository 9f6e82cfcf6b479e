#include <windows.h>

#include <cstdlib>

#include "platform/user_files.h"

namespace platform {

std::string UserConfigFolder() {
    const char* appData = std::getenv("APPDATA");
    return appData ? appData : "";
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to, std::string* error) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (error) {
        char text[256] = {};
        const DWORD code = GetLastError();
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text, sizeof text, nullptr);
        std::string reason = text;
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
            reason.pop_back();
        *error = reason.empty() ? "error " + std::to_string(code) : reason;
    }
    return false;
}

}  // namespace platform
