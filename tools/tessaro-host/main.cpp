// tessaro-host: loads the Tessaro plug-in module as the microscopy host does,
// connects it to a board (or to tessaro-sim) and runs commands on its drives:
// one command, a script of several (`run "A; B"`), or an interactive shell.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "host/kx_module.h"
#include "platform/console.h"
#include "tools/tessaro-host/host_commands.h"
#include "tools/tessaro-host/host_session.h"

using namespace tessaro_host;

namespace {

int Finish(const CommandResult& result) {
    if (result.exitCode != kExitOk)
        std::fprintf(stderr, "tessaro-host: %s\n", result.reason.c_str());
    return result.exitCode;
}

CommandResult Shell(CommandRunner& runner) {
    std::cout << "type help for the commands, exit to leave\n";
    std::string line;
    CommandResult last;
    while (platform::ReadLine("tessaro> ", &line)) {
        if (line == "exit" || line == "quit") break;
        platform::ClearInterrupt();
        last = runner.RunScript(line);
        if (last.exitCode != kExitOk) std::cout << "error: " << last.reason << "\n";
        std::cout.flush();
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Load the Tessaro plug-in module like the host application and drive its "
        "controller.\n\nCommands: " +
        CommandRunner::Help() +
        "  run \"CMD; CMD; ...\"         several commands in one connection\n"
        "  shell                     an interactive prompt\n"
        "\nExit codes: 0 done, 1 the plug-in reported a failure, 2 usage, 3 no "
        "module or controller, 4 stopped by Ctrl-C."};
    SessionOptions options;
    options.modulePath = host::ProgramDirectory() + host::ModuleFileName("TessaroDevice");
    app.add_option("--module", options.modulePath, "The plug-in module")->capture_default_str();
    app.add_option("--port", options.port, "COM port number of the controller")
        ->check(CLI::Range(1, 254))
        ->capture_default_str();
    app.add_option("--device", options.device,
                   "Systems without COM names: the device behind the port, e.g. /dev/ttyUSB0");
    app.add_option("--settings", options.settingsFile,
                   "Settings file: read at connect, written by save and at exit");
    app.add_flag("--trace", options.trace, "Print every packet on the wire");
    app.add_flag("!--no-metadata", options.metadata, "Do not print the module's metadata sections");
    // Everything after the options is the command, taken as it stands (a
    // distance like -5 is no option).
    app.prefix_command();
    CLI11_PARSE(app, argc, argv);
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
    if (command[0] == "help") {
        std::cout << CommandRunner::Help();
        return kExitOk;
    }

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
        result = {kExitInterrupted, "stopped by Ctrl-C before the command"};
    } else if (command[0] == "shell" && command.size() == 1) {
        result = Shell(runner);
    } else if (command[0] == "run" && command.size() == 2) {
        result = runner.RunScript(command[1]);
    } else {
        result = runner.Run(line);
    }
    session.Close();
    return Finish(result);
}
