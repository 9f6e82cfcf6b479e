// The terminal a host program runs in: Ctrl-C caught as a request instead of
// an end, and lines read with the system's editing and history.
#pragma once

#include <string>
#include <vector>

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

// The program's arguments as UTF-8 (paths in them included). Windows
// hands `argv` over in the ANSI code page, where a folder named in another
// script comes as question marks; there they are read from the UTF-16
// command line instead.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
