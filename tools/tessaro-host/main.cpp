// tessaro-host: loads the Tessaro plug-in module as the microscopy host does,
// connects it to a board (or to tessaro-sim) and runs commands on its drives:
// one command, a script of several (`run "A; B"`), or an interactive shell.
#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "host/kx_module.h"
#include "platform/console.h"
#include "platform/serial_port.h"
#include "platform/user_files.h"
#include "session/command_check.h"
#include "session/host_commands.h"
#include "session/host_session.h"
#include "session/port_finder.h"
#include "tools/tessaro-host/doctor.h"
#include "tools/tessaro-host/tool_version.h"

using namespace tessaro_host;

namespace {

int Finish(const CommandResult& result) {
    if (result.exitCode != kExitOk)
        std::fprintf(stderr, "tessaro-host: %s\n", result.reason.c_str());
    return result.exitCode;
}

CommandResult Shell(CommandRunner& runner) {
    // Each error is told and the shell goes on, as typed. Fed from a file
    // or a pipe, it then ends with the first failure's code, so that the
    // program or script behind it learns that one failed (`run` stops at
    // the first failure instead).
    const bool interactive = platform::InputIsTerminal();
    CommandResult first;
    const auto terminated = [] {
        return CommandResult{kExitInterrupted,
                             std::string("stopped by ") + platform::InterruptName()};
    };
    std::cout << "type help for the commands, exit to leave\n";
    std::string line;
    CommandResult last;
    for (;;) {
        if (!platform::ReadLine("tessaro> ", &line)) {
            // Ctrl-C at the prompt drops the line typed so far; Ctrl-D (the
            // end of the input) ends the shell.
            if (!platform::InterruptRequested()) break;
            if (platform::TerminationRequested()) return terminated();
            platform::ClearInterrupt();
            std::cout << "\n";
            continue;
        }
        if (line == "exit" || line == "quit") break;
        // A termination request ends the shell: no line after it runs.
        if (platform::TerminationRequested()) return terminated();
        platform::ClearInterrupt();
        last = runner.RunScript(line);
        // Stopped by a termination request, or (fed from a file) by any
        // interrupt: what comes after was meant to follow what did not
        // happen.
        if (last.exitCode == kExitInterrupted && (!interactive || platform::TerminationRequested()))
            return last;
        if (last.exitCode != kExitOk) {
            std::cout << "error: " << last.reason << "\n";
            if (first.exitCode == kExitOk) first = last;
        }
        std::cout.flush();
    }
    if (interactive || first.exitCode == kExitOk) return {};
    return {first.exitCode, "a command of the shell failed: " + first.reason};
}

// The settings file of a port when none is named: one per port in the
// user's folder ("" when the system names no such folder). Not "COMn.txt":
// Windows takes a device name with any extension for the device itself.
std::string DefaultSettingsFile(int port) {
    const std::string folder = platform::UserConfigFolder();
    if (folder.empty()) return {};
    return (std::filesystem::u8path(folder) / "tessaro-host" /
            ("settings-COM" + std::to_string(port) + ".txt"))
        .u8string();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Load the Tessaro plug-in module like the host application and drive its "
        "controller.",
        "tessaro-host"};
    app.footer("\n" + CommandRunner::Help(true) +
               "\nExit codes: 0 done, 1 the plug-in reported a failure, 2 usage, 3 no "
               "module or controller, 4 stopped by Ctrl-C.\n"
               "doctor: 0 checked (the problems it names are advice), 1 the bundle could not be "
               "written, 3 the line does not open or no processor answers.");
    app.set_version_flag("--version", "tessaro-host " TESSARO_HOST_VERSION_TEXT);
    SessionOptions options;
    options.modulePath = host::ProgramDirectory() + host::ModuleFileName("TessaroDevice");
    app.add_option("--module", options.modulePath, "The plug-in module")->capture_default_str();
    app.add_option("--port", options.port, "COM port number of the controller, 1 to 254")
        ->check(CLI::Validator(
            [](std::string& text) {
                double n = 0;
                if (!ParseFiniteNumber(text, &n) || n < 1 || n > 254 || n != std::floor(n))
                    return "--port takes a COM port number from 1 to 254, not '" + text + "'";
                return std::string();
            },
            "1..254"))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->capture_default_str();
    app.add_option("--device", options.device,
                   "Systems without COM names: the device behind the port, e.g. /dev/ttyUSB0")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--settings", options.settingsFile,
                   "Settings file: read at connect, written by save and at exit (default: one "
                   "per port in the user's settings folder; none: no file)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    CLI::Option* trace = app.add_flag("--trace", options.trace, "Print every packet on the wire");
    // One place for the trace: both given would drop one silently.
    app.add_option("--trace-file", options.traceFile,
                   "Append every packet on the wire to this file instead")
        ->excludes(trace);
    app.add_flag("!--no-metadata", options.metadata, "Do not print the module's metadata sections");
    // Everything after the options is the command, taken as it stands (a
    // distance like -5 is no option).
    app.prefix_command();
    // Paths come as UTF-8, as every path in the program is (see ProgramArguments).
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help, --version
    } catch (const CLI::ParseError& e) {
        // Usage errors in one line, with the documented code.
        std::string what = e.what();
        if (!what.empty() && what.back() == '\n') what.pop_back();
        std::fprintf(stderr, "tessaro-host: %s (see --help)\n", what.c_str());
        return kExitUsage;
    }
    const std::vector<std::string> command = app.remaining();
    if (command.empty()) {
        std::fprintf(stderr, "tessaro-host: no command (see --help)\n");
        return kExitUsage;
    }
    std::string line;
    for (const std::string& word : command) {
        const bool quote = word.find_first_of(" \t;") != std::string::npos;
        line += (line.empty() ? "" : " ") + (quote ? "\"" + word + "\"" : word);
    }
    // Help on one command: "help COMMAND", or the command with --help.
    if ((command[0] == "help" && command.size() == 2) ||
        (command.size() >= 2 && (command.back() == "--help" || command.back() == "-h"))) {
        const std::string verb = command[0] == "help" ? command[1] : command[0];
        const std::string lines = CommandRunner::HelpFor(verb, true);
        if (lines.empty()) return Finish({kExitUsage, "no command " + verb + " (see --help)"});
        std::cout << lines;
        return kExitOk;
    }
    if (command[0] == "help") {
        std::cout << CommandRunner::Help(true);
        return kExitOk;
    }
    // Everything is checked before anything connects: a mistyped command
    // costs no connection, no processor reset and no packet.
    // A script is taken as it stands (it may hold quotes of its own).
    const CommandResult checked = command[0] == "run" && command.size() == 2
                                      ? CheckScript(command[1])
                                      : CheckCommand(line, true);
    if (checked.exitCode != kExitOk) return Finish(checked);
    // A settings file is a plain file (a device name such as COM1 would be
    // read for ever).
    if (!options.settingsFile.empty() && options.settingsFile != "none" &&
        !SettingsFileProblem(options.settingsFile).empty())
        return Finish({kExitUsage, "--settings " + options.settingsFile + " is not a file"});
    // The doctor reads the line with the command layer alone: no module, no
    // settings written, nothing connected.
    if (command[0] == "doctor") {
        if (options.settingsFile == "none")
            options.settingsFile.clear();
        else if (options.settingsFile.empty())
            options.settingsFile = DefaultSettingsFile(options.port);
        if (!options.device.empty()) platform::SetComPortPath(options.port, options.device);
        return Finish(RunDoctor(options, command.size() == 3 ? command[2] : "", std::cout));
    }
    // Finding the board needs no module and no connection.
    if (command[0] == "ports") {
        if (!options.device.empty()) platform::SetComPortPath(options.port, options.device);
        return Finish(ListPorts(command.size() == 2, std::cout));
    }
    if (const std::string problem = ModuleProblem(options.modulePath); !problem.empty())
        return Finish({kExitNoController, problem + " (see --module)"});

    // Positions live in the settings file: without one every run would
    // start at 0. The default is one file per port in the user's folder.
    if (options.settingsFile == "none") {
        options.settingsFile.clear();
    } else if (options.settingsFile.empty()) {
        options.settingsFile = DefaultSettingsFile(options.port);
        if (!options.settingsFile.empty()) {
            std::error_code error;
            std::filesystem::create_directories(
                std::filesystem::u8path(options.settingsFile).parent_path(), error);
            std::cout << "settings file: " << options.settingsFile
                      << " (--settings FILE for another, none for none)\n";
        }
    }

    // What is wrong with the line, said before the plug-in gets the port
    // (the plug-in itself can only say that nothing answered).
    if (const std::string problem = PortProblem(options.port, options.device); !problem.empty())
        return Finish({kExitNoController, problem});

    platform::CatchInterrupts();
    HostSession session(std::cout);
    std::string error;
    if (!session.Open(options, &error)) {
        session.Close();
        return Finish({kExitNoController, error});
    }
    CommandRunner runner(session, std::cout);
    CommandResult result;
    if (platform::InterruptRequested()) {
        // Ctrl-C while connecting: nothing is started.
        result = {kExitInterrupted,
                  std::string("stopped by ") + platform::InterruptName() + " before the command"};
    } else if (command[0] == "shell" && command.size() == 1) {
        result = Shell(runner);
    } else if (command[0] == "run" && command.size() == 2) {
        result = runner.RunScript(command[1]);
    } else {
        result = runner.Run(line);
    }
    std::string saveError;
    if (!session.Close(&saveError) && result.exitCode == kExitOk) result = {kExitFailed, saveError};
    return Finish(result);
}
