// The terminal a host program runs in: Ctrl-C caught as a request instead of
// an end, and lines read with the system's editing and history.
#pragma once

#include <string>

namespace platform {

// From now on Ctrl-C (and a termination request) only sets a flag.
void CatchInterrupts();
bool InterruptRequested();
void ClearInterrupt();
// What the last request was, as a user names it ("Ctrl-C", "a termination
// request (SIGTERM)"); kept when the flag is cleared.
const char* InterruptName();
// Whether a termination request came (SIGTERM; the console closing): it is
// not cleared with the flag, the program is to end.
bool TerminationRequested();

// Reads one line at the prompt, with editing and history where the terminal
// offers them; false at the end of the input.
bool ReadLine(const char* prompt, std::string* line);
// Whether standard input is a terminal (a user types), or a file or pipe.
bool InputIsTerminal();
// Whether standard output / error is a terminal (worth a live status line).
bool OutputIsTerminal();
bool ErrorIsTerminal();

}  // namespace platform
