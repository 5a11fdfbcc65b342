#pragma once
// The plover command is one CLI11 application; each cmd_*.cpp adds its subcommand through a
// static CommandRegistrar, so a new command needs no edit anywhere else.
#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace plover::cli {

// What every subcommand shares: the global options and the exit status.
struct CliContext {
    std::string home;   // --home DIR, or PLOVER_HOME; empty: the XDG folders
    int exitCode = 0;   // 0 only on success
    // An installation or uninstallation run: "--install"/"--uninstall", or an argument before the
    // command that contains "/BRInst" or "/BRUninst" anywhere. Such a run does only that.
    bool install = false;
    bool uninstall = false;
    const CLI::App* root = nullptr;  // the whole command line: the manual page and completions
};
// A command that uses the home brings the application up and down with CCliApp (cli/app_session.h).

using CommandSetup = std::function<void(CLI::App& app, CliContext& ctx)>;

// Registers a subcommand builder; used as a static object in each command's file.
struct CommandRegistrar {
    CommandRegistrar(const char* name, CommandSetup setup);
};

// Builds the application with every registered subcommand and runs it; returns the exit status.
int RunCommandLine(int argc, char** argv);

// The arguments the program was started with (argv, ending with a null), for handing the
// command over to another build of the program.
char** ProgramArguments();

}  // namespace plover::cli
