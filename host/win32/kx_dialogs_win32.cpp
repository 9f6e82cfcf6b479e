// Driving real dialogs: a hook on the thread that sets the driver notices
// each dialog it shows; once the dialog has handled what it posted itself
// (a marker posted behind those messages comes round), the driver runs on a
// thread of its own and acts through messages sent to the dialog, each
// handled by the dialog's thread before the call returns.
#include <windows.h>

#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "host/kx_dialogs.h"

namespace host {
namespace {

std::mutex g_mutex;
DialogDriver g_driver;
HHOOK g_activateHook = nullptr;
HHOOK g_messageHook = nullptr;
std::set<HWND> g_driven;
std::vector<std::thread> g_threads;
UINT g_marker = 0;

HWND Window(KxWindow w) {
    return static_cast<HWND>(w);
}

bool IsDialogWindow(HWND w) {
    wchar_t name[16] = {};
    return GetClassNameW(w, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0;
}

void RunDriver(DialogDriver driver, HWND dialog) {
    driver(dialog);
    // What the driver left open: the close box, then Cancel.
    if (IsWindow(dialog)) SendMessageW(dialog, WM_CLOSE, 0, 0);
    if (IsWindow(dialog)) SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
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
        if (g_driver) g_threads.emplace_back(RunDriver, g_driver, msg->hwnd);
        msg->message = WM_NULL;  // the dialog never sees the marker
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void SetDialogDriver(DialogDriver driver) {
    std::vector<std::thread> finished;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_driver = std::move(driver);
        g_driven.clear();
        finished.swap(g_threads);
        if (g_marker == 0) g_marker = RegisterWindowMessageW(L"TessaroHostDialogDriver");
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
}

bool IsDialogItemChecked(KxWindow dialog, int id) {
    return IsDlgButtonChecked(Window(dialog), id) == BST_CHECKED;
}

void SetDialogItemChecked(KxWindow dialog, int id, bool checked) {
    if (IsDialogItemChecked(dialog, id) != checked) ClickDialogButton(dialog, id);
}

void ClickDialogButton(KxWindow dialog, int id) {
    HWND item = GetDlgItem(Window(dialog), id);
    if (item) SendMessageW(item, BM_CLICK, 0, 0);
}

void SendDialogCommand(KxWindow dialog, std::uintptr_t wParam) {
    SendMessageW(Window(dialog), WM_COMMAND, wParam, 0);
}

void TickDialogTimer(KxWindow dialog, std::uintptr_t id) {
    SendMessageW(Window(dialog), WM_TIMER, id, 0);
}

void CloseDialogBox(KxWindow dialog) {
    SendMessageW(Window(dialog), WM_CLOSE, 0, 0);
}

}  // namespace host
