#include <windows.h>

#include <algorithm>

#include "platform/user_files.h"
#include "platform/win32/system_error_text.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

bool Failed(DWORD code, std::string* error) {
    if (error) {
        const std::string reason = SystemErrorText(code);
        *error = reason.empty() ? "error " + std::to_string(code) : reason;
    }
    return false;
}

HANDLE OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    std::wstring wide;
    if (!ToWide(path, &wide)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(wide.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

}  // namespace

std::string UserConfigFolder() {
    // Not getenv: it gives the folder in the ANSI code page.
    const DWORD size = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (size == 0) return {};
    std::wstring folder(size, L'\0');
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", &folder[0], size);
    return n < size ? ToUtf8(folder.data(), n) : "";
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
    const HANDLE file =
        OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return Failed(GetLastError(), error);
    bytes->clear();
    char chunk[65536];
    DWORD n = 0;
    BOOL ok = TRUE;
    while ((ok = ReadFile(file, chunk, sizeof chunk, &n, nullptr)) && n > 0)
        bytes->append(chunk, n);
    const DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(file);
    return ok || Failed(code, error);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
    const HANDLE file = OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return Failed(GetLastError(), error);
    std::size_t done = 0;
    DWORD code = ERROR_SUCCESS;
    while (done < bytes.size() && code == ERROR_SUCCESS) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &n, nullptr))
            code = GetLastError();
        else
            done += n;
    }
    if (!CloseHandle(file) && code == ERROR_SUCCESS) code = GetLastError();
    return code == ERROR_SUCCESS || Failed(code, error);
}

bool RemoveFile(const std::string& path) {
    std::wstring wide;
    return ToWide(path, &wide) && DeleteFileW(wide.c_str());
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to, std::string* error) {
    // The new file's bytes reach the disk before its name replaces the old
    // one (the write-through below covers the move, not the data): a power
    // loss of the computer must not leave an empty file in the old one's
    // place.
    DWORD code = ERROR_SUCCESS;
    const HANDLE file = OpenFile(from, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        code = GetLastError();
    } else {
        if (!FlushFileBuffers(file)) code = GetLastError();
        CloseHandle(file);
    }
    std::wstring wideFrom, wideTo;
    if (code == ERROR_SUCCESS && !(ToWide(from, &wideFrom) && ToWide(to, &wideTo)))
        code = ERROR_NO_UNICODE_TRANSLATION;
    if (code == ERROR_SUCCESS && !MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = GetLastError();
    return code == ERROR_SUCCESS || Failed(code, error);
}

}  // namespace platform
