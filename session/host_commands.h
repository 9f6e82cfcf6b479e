// The commands of tessaro-host: one line each ("z move-rel 5"), several in
// a script separated by ';'. Each gives an exit code scripts can rely on and,
// on failure, a one-line reason.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "session/host_session.h"
#include "session/operations.h"

namespace tessaro_host {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;        // the plug-in reported a failure
inline constexpr int kExitUsage = 2;         // a command or argument not understood
inline constexpr int kExitNoController = 3;  // module or connection missing
inline constexpr int kExitInterrupted = 4;   // stopped by Ctrl-C

struct CommandResult {
    int exitCode = kExitOk;
    std::string reason;  // for a non-zero code
};

// Words of a command line; double quotes group words ("a b" is one word).
std::vector<std::string> SplitWords(const std::string& line);
// A finite number written in full (no trailing text); false otherwise.
bool ParseFiniteNumber(const std::string& text, double* value);
// The numbers of words[first...]: exactly `count` of them, each finite.
bool ParseNumbers(const std::vector<std::string>& words, std::size_t first, std::size_t count,
                  double* out);
// Commands of a script, split at ';' outside double quotes.
std::vector<std::string> SplitScript(const std::string& script);

// The controller information text (lines end in '\n'), as its dialog shows it.
std::string InformationText(HostSession& session);

class CommandRunner {
  public:
    CommandRunner(HostSession& session, std::ostream& out) : m_session(session), m_out(out) {}

    CommandResult Run(const std::string& line);
    // Runs the commands in order; stops at the first failure.
    CommandResult RunScript(const std::string& script);
    // The command list; `topLevel`: with what only the command line takes
    // (run, shell, ports, doctor).
    static std::string Help(bool topLevel);
    // The lines of that list about one command ("" when there is none).
    static std::string HelpFor(const std::string& verb, bool topLevel);

  private:
    CommandResult Info();
    CommandResult Positions();
    CommandResult DriveCommand(const std::vector<std::string>& words);
    CommandResult Set(const std::vector<std::string>& words);
    CommandResult Collect(const std::string& moves);
    CommandResult Dialog(const std::vector<std::string>& words);

    HostSession& m_session;
    std::ostream& m_out;
    bool m_collecting = false;
    std::vector<MoveRequest> m_collected;  // while collecting
};

}  // namespace tessaro_host
