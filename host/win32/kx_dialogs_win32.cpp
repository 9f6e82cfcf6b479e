// Driving real dialogs: a hook on the thread that sets the driver notices
// each dialog it shows; once the dialog has handled what it posted itself
// (a marker posted behind those messages comes round), the driver runs on a
// thread of its own and acts through messages sent to the dialog, each
// handled by the dialog's thread before the call returns.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/kx_dialogs.h"
#include "host/kx_string.h"

namespace host {
namespace {

std::mutex g_mutex;
DialogDriver g_driver;
HHOOK g_activateHook = nullptr;
HHOOK g_messageHook = nullptr;
std::set<HWND> g_driven;   // dialogs a start marker was posted to
std::set<HWND> g_started;  // dialogs whose driver was started
std::vector<std::thread> g_threads;
UINT g_marker = 0;

// Settling: an action is complete when the dialog has also handled what it
// posted to itself meanwhile (a refresh, say). A numbered marker posted
// behind those messages says so when the dialog's thread takes it.
UINT g_settleMarker = 0;
std::mutex g_settleMutex;
std::condition_variable g_settled;
std::uint64_t g_settleNext = 0;
std::uint64_t g_settleSeen = 0;
constexpr auto kSettleLimit = std::chrono::seconds(2);

void Settle(HWND dialog) {
    std::unique_lock<std::mutex> lock(g_settleMutex);
    const std::uint64_t id = ++g_settleNext;
    if (!IsWindow(dialog) || !PostMessageW(dialog, g_settleMarker, 0, static_cast<LPARAM>(id)))
        return;
    const auto deadline = std::chrono::steady_clock::now() + kSettleLimit;
    // A dialog that has ended never takes the marker.
    while (g_settleSeen < id && IsWindow(dialog) && std::chrono::steady_clock::now() < deadline)
        g_settled.wait_for(lock, std::chrono::milliseconds(10));
}

HWND Window(KxWindow w) {
    return static_cast<HWND>(w);
}

bool IsDialogWindow(HWND w) {
    wchar_t name[16] = {};
    return GetClassNameW(w, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0;
}

// A dialog that was ended goes away once its thread is back in its loop.
bool WaitUntilGone(HWND dialog) {
    const auto deadline = std::chrono::steady_clock::now() + kSettleLimit;
    while (IsWindow(dialog) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !IsWindow(dialog);
}

void RunDriver(DialogDriver driver, HWND dialog) {
    driver(dialog);
    // What the driver left open: the close box, then Cancel.
    if (WaitUntilGone(dialog)) return;
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    if (WaitUntilGone(dialog)) return;
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

LRESULT CALLBACK OnActivate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND w = reinterpret_cast<HWND>(wParam);
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_driver && IsDialogWindow(w) && g_driven.insert(w).second)
            PostMessageW(w, g_marker, 0, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK OnMessage(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == g_marker && g_marker != 0) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_driver && g_started.insert(msg->hwnd).second)
            g_threads.emplace_back(RunDriver, g_driver, msg->hwnd);
        msg->message = WM_NULL;  // the dialog never sees the marker
    } else if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == g_settleMarker &&
               g_settleMarker != 0) {
        {
            std::lock_guard<std::mutex> lock(g_settleMutex);
            g_settleSeen =
                std::max<std::uint64_t>(g_settleSeen, static_cast<std::uint64_t>(msg->lParam));
        }
        g_settled.notify_all();
        msg->message = WM_NULL;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

bool HasWindowSystem() {
    // Wine run with its null graphics driver (as the tests run it) has
    // windows that nobody can see or work: a modal dialog there would never
    // end. Elsewhere Windows always has its window system.
    static const bool has = [] {
        wchar_t value[32] = {};
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Drivers", L"Graphics", RRF_RT_REG_SZ,
                         nullptr, value, &size) == ERROR_SUCCESS)
            return _wcsicmp(value, L"null") != 0;
        return true;
    }();
    return has;
}

void SetDialogDriver(DialogDriver driver) {
    std::vector<std::thread> finished;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_driver = std::move(driver);
        g_driven.clear();
        g_started.clear();
        finished.swap(g_threads);
        if (g_marker == 0) g_marker = RegisterWindowMessageW(L"TessaroHostDialogDriver");
        if (g_settleMarker == 0)
            g_settleMarker = RegisterWindowMessageW(L"TessaroHostDialogSettle");
        if (g_driver && !g_activateHook) {
            g_activateHook = SetWindowsHookExW(WH_CBT, OnActivate, nullptr, GetCurrentThreadId());
            g_messageHook =
                SetWindowsHookExW(WH_GETMESSAGE, OnMessage, nullptr, GetCurrentThreadId());
        } else if (!g_driver && g_activateHook) {
            UnhookWindowsHookEx(g_activateHook);
            UnhookWindowsHookEx(g_messageHook);
            g_activateHook = g_messageHook = nullptr;
        }
    }
    // Drivers of dialogs that have ended.
    for (std::thread& t : finished) t.join();
}

bool IsDialogOpen(KxWindow dialog) {
    return IsWindow(Window(dialog)) != FALSE;
}

std::u16string DialogCaption(KxWindow dialog) {
    wchar_t text[256] = {};
    GetWindowTextW(Window(dialog), text, 256);
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

std::u16string DialogItemText(KxWindow dialog, int id) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(Window(dialog), id, text, 1024);
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

void TypeIntoDialogItem(KxWindow dialog, int id, const std::u16string& text) {
    // Setting an edit's text notifies the dialog of the change as typing does.
    SetDlgItemTextW(Window(dialog), id, reinterpret_cast<const wchar_t*>(text.c_str()));
    Settle(Window(dialog));
}

bool IsDialogItemChecked(KxWindow dialog, int id) {
    return IsDlgButtonChecked(Window(dialog), id) == BST_CHECKED;
}

int FocusedDialogItem(KxWindow dialog) {
    HWND focus = GetFocus();
    return focus && IsChild(Window(dialog), focus) ? GetDlgCtrlID(focus) : 0;
}

void SetDialogItemChecked(KxWindow dialog, int id, bool checked) {
    if (IsDialogItemChecked(dialog, id) != checked) ClickDialogButton(dialog, id);
}

void ClickDialogButton(KxWindow dialog, int id) {
    HWND item = GetDlgItem(Window(dialog), id);
    if (item) SendMessageW(item, BM_CLICK, 0, 0);
    Settle(Window(dialog));
}

void SendDialogCommand(KxWindow dialog, std::uintptr_t wParam) {
    SendMessageW(Window(dialog), WM_COMMAND, wParam, 0);
    Settle(Window(dialog));
}

void TickDialogTimer(KxWindow dialog, std::uintptr_t id) {
    SendMessageW(Window(dialog), WM_TIMER, id, 0);
    Settle(Window(dialog));
}

void CloseDialogBox(KxWindow dialog) {
    SendMessageW(Window(dialog), WM_CLOSE, 0, 0);
    Settle(Window(dialog));
}

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide text is UTF-16");
std::string Narrow(const wchar_t* text) {
    return KX_ToUtf8(reinterpret_cast<const char16_t*>(text));
}

BOOL CALLBACK DescribeChild(HWND child, LPARAM out) {
    auto* text = reinterpret_cast<std::string*>(out);
    wchar_t kind[64] = {}, label[512] = {};
    GetClassNameW(child, kind, 64);
    GetWindowTextW(child, label, 512);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    const bool isCheckBox = lstrcmpiW(kind, L"Button") == 0 && (style & 0xF) == BS_AUTOCHECKBOX;
    *text += "  [" + std::to_string(GetDlgCtrlID(child)) + "] " + Narrow(kind) + " \"" +
             Narrow(label) + "\"";
    if (isCheckBox)
        *text += IsDlgButtonChecked(GetParent(child), GetDlgCtrlID(child)) ? " [x]" : " [ ]";
    *text += "\n";
    return TRUE;
}

}  // namespace

bool SaveDialogPicture(KxWindow dialog, const std::string& bmpPath) {
    HWND w = Window(dialog);
    if (!IsWindow(w)) return false;
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    RECT r;
    GetWindowRect(w, &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return false;
    HDC source = GetWindowDC(w);
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;  // bottom-up rows, as every reader takes them
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int rowSize = (width * 3 + 3) & ~3;
    std::string pixels(static_cast<std::size_t>(rowSize) * height, '\0');
    const int rows = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(w, source);
    if (rows != height) return false;

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(bmpPath.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

std::string DialogAsText(KxWindow dialog) {
    HWND w = Window(dialog);
    if (!IsWindow(w)) return {};
    wchar_t caption[256] = {};
    GetWindowTextW(w, caption, 256);
    std::string text = "== " + Narrow(caption) + "\n";
    EnumChildWindows(w, DescribeChild, reinterpret_cast<LPARAM>(&text));
    return text;
}

}  // namespace host
