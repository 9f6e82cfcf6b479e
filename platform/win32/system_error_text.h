// The system's text for a Win32 error code, without its line break (for the
// Win32 back-ends' messages and traces). Empty when the system has none.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

inline std::string SystemErrorText(DWORD code) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

}  // namespace platform
