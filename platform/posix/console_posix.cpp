#include <editline/readline.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "platform/console.h"

namespace platform {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signal{SIGINT};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int signal) {
    g_signal = signal;
    g_interrupted = true;
}

}  // namespace

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads and waits resume after the signal; the program looks at the
    // flag at its own pace.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
    return g_interrupted.load();
}

bool TerminationRequested() {
    return g_signal.load() == SIGTERM;
}

const char* InterruptName() {
    return g_signal.load() == SIGTERM ? "a termination request (SIGTERM)" : "Ctrl-C";
}

void ClearInterrupt() {
    g_interrupted = false;
}

bool ReadLine(const char* prompt, std::string* line) {
    char* text = readline(prompt);
    if (!text) return false;
    *line = text;
    if (*text) add_history(text);
    std::free(text);
    return true;
}

bool InputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

bool OutputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

bool ErrorIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace platform
