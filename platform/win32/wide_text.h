// UTF-8, the text of our strings, to and from UTF-16, the text of the W
// calls (the A calls would read the ANSI code page, which cannot hold every
// name a user gives a folder).
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// False for bytes that are not UTF-8: refused rather than guessed at.
inline bool ToWide(const std::string& utf8, std::wstring* wide) {
    wide->clear();
    if (utf8.empty()) return true;
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (n <= 0) return false;
    wide->resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &(*wide)[0], n) ==
           n;
}

inline std::string ToUtf8(const wchar_t* wide, std::size_t length) {
    const int size = static_cast<int>(length);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, size, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

}  // namespace platform
