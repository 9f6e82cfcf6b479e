#include <io.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <iostream>

#include "platform/console.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<DWORD> g_event{CTRL_C_EVENT};

BOOL WINAPI OnControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        g_event = event;
        g_interrupted = true;
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnControl, TRUE);
}

bool InterruptRequested() {
    return g_interrupted.load();
}

bool TerminationRequested() {
    return g_event.load() == CTRL_CLOSE_EVENT;
}

const char* InterruptName() {
    switch (g_event.load()) {
        case CTRL_BREAK_EVENT:
            return "Ctrl-Break";
        case CTRL_CLOSE_EVENT:
            return "the console window closing";
        default:
            return "Ctrl-C";
    }
}

void ClearInterrupt() {
    g_interrupted = false;
}

bool ReadLine(const char* prompt, std::string* line) {
    // The console itself offers line editing and its history (F7, arrows).
    // Commands piped in from a script get no prompts between their answers.
    if (_isatty(_fileno(stdin))) {
        std::fputs(prompt, stdout);
        std::fflush(stdout);
    }
    return static_cast<bool>(std::getline(std::cin, *line));
}

bool InputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

bool OutputIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

bool ErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(ToUtf8(wide[i], wcslen(wide[i])));
    LocalFree(wide);
    return arguments;
}

}  // namespace platform
