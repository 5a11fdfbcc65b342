#include "cli/command.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <string_view>

#include "cli/app_session.h"
#include "cli/cli_kit.h"

#ifndef PLOVER_VERSION
#define PLOVER_VERSION "0"
#endif

namespace plover::cli {
namespace {

char** programArguments = nullptr;

std::map<std::string, CommandSetup>& Registry() {
    static std::map<std::string, CommandSetup> commands;  // sorted by name for --help
    return commands;
}

// Takes the setup switches out of the arguments before the command name: "--install",
// "--uninstall", and any argument containing "/BRInst" or "/BRUninst" (the short setup
// switches, which select the run wherever they stand in the argument). Arguments of a command
// are left alone, so that an address such as http://host/BRInstall.zip is only an address. In a
// setup run the command and its arguments are dropped: setup is all that such a run does.
std::vector<char*> TakeSetupSwitches(int argc, char** argv, CliContext& ctx) {
    std::vector<char*> kept{argv[0]};
    int i = 1;
    for (; i < argc; ++i) {
        std::string_view a = argv[i];
        if (Registry().count(std::string(a))) break;
        if (a == "--install" || a.find("/BRInst") != std::string_view::npos) {
            ctx.install = true;
            continue;
        }
        if (a == "--uninstall" || a.find("/BRUninst") != std::string_view::npos) {
            ctx.uninstall = true;
            continue;
        }
        kept.push_back(argv[i]);
        if (a == "--home" && i + 1 < argc) kept.push_back(argv[++i]);
    }
    if (!ctx.install && !ctx.uninstall)
        for (; i < argc; ++i) kept.push_back(argv[i]);
    return kept;
}

// The commands that describe the whole command line (the manual page, the completions).
const std::set<std::string> kWholeLineCommands = {"install", "manual", "completion"};

// The command the arguments name, as TakeSetupSwitches found it: the first word that names a
// command and is not the value of --home; empty when there is none.
std::string NamedCommand(const std::vector<char*>& args) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (Registry().count(args[i])) return args[i];
        if (std::string_view(args[i]) == "--home") ++i;
    }
    return {};
}

// The names a word left over at `at` could have meant: its options for an option, its
// subcommands for a word when it has any.
std::vector<std::string> KnownNames(const CLI::App& at, bool option) {
    std::vector<std::string> names;
    if (option) {
        for (const CLI::Option* o : at.get_options()) {
            for (const std::string& l : o->get_lnames()) names.push_back("--" + l);
            for (const std::string& s : o->get_snames()) names.push_back("-" + s);
        }
    } else {
        for (const CLI::App* sub : at.get_subcommands([](const CLI::App*) { return true; }))
            names.push_back(sub->get_name());
    }
    return names;
}

// A usage error as the user sees it: CLI11's message, what a mistyped name may have meant, and
// where the help is. Always status 2.
int ReportUsageError(CLI::App& app, const CLI::ParseError& e) {
    CLI::App* at = &app;
    while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
    std::string command = at->get_name();
    for (CLI::App* p = at->get_parent(); p; p = p->get_parent()) command = p->get_name() + " " + command;
    Complain() << e.what() << "\n";
    for (const std::string& word : at->remaining()) {
        bool option = word.size() > 1 && word[0] == '-';
        std::string typed = option ? word.substr(0, word.find('=')) : word;
        std::string hint = DidYouMean(typed, KnownNames(*at, option));
        if (!hint.empty()) Complain() << typed << ": " << hint << "\n";
    }
    std::cerr << "Run '" << command << " --help' for the commands and options.\n";
    return kExitUsage;
}

constexpr const char* kExitStatusFooter =
    "Exit status: 0 success; 1 a job or part of it failed, or it was refused; 2 usage error (unknown\n"
    "command or option, missing argument, bad value); 130 interrupted (Ctrl-C, SIGTERM).\n"
    "Run 'plover COMMAND --help' for a command's options.\n";

}  // namespace

CommandRegistrar::CommandRegistrar(const char* name, CommandSetup setup) { Registry()[name] = std::move(setup); }

char** ProgramArguments() { return programArguments; }

int RunCommandLine(int argc, char** argv) {
    programArguments = argv;
    CliContext ctx;
    if (const char* h = std::getenv("PLOVER_HOME")) ctx.home = h;

    CLI::App app{"Plover collects pictures and files from the web.", "plover"};
    app.set_version_flag("--version", std::string("plover ") + PLOVER_VERSION);
    app.add_option("--home", ctx.home, "Keep settings and data in DIR (default: $PLOVER_HOME or the XDG folders)")
        ->type_name("DIR");
    bool installFlag = false, uninstallFlag = false;  // taken out before parsing; listed for --help
    app.add_flag("--install", installFlag, "Install Plover for this user (folders and default settings), then end");
    app.add_flag("--uninstall", uninstallFlag, "Remove this user's Plover settings (data is kept), then end");
    ctx.root = &app;
    app.require_subcommand(0, 1);
    app.footer(kExitStatusFooter);
    std::vector<char*> args = TakeSetupSwitches(argc, argv, ctx);
    // Building a command's options costs every run; a run builds only the command it names. Help
    // without a command, a line that names none (a usage error, whose hints list them all), a
    // setup run and the commands that describe the whole line get every command.
    std::string named = NamedCommand(args);
    bool all = named.empty() || ctx.install || ctx.uninstall || kWholeLineCommands.count(named) != 0;
    for (auto& [name, setup] : Registry())
        if (all || name == named) setup(app, ctx);

    try {
        app.parse(int(args.size()), args.data());
    } catch (const CLI::ParseError& e) {
        // Help and version end with their own status (0); everything else is a usage error.
        if (e.get_exit_code() == int(CLI::ExitCodes::Success)) return app.exit(e);
        return ReportUsageError(app, e);
    }
    // "/BRInst" is checked first, as the program always did.
    if (ctx.install) return RunInstall(ctx);
    if (ctx.uninstall) return RunUninstall(ctx);
    if (app.get_subcommands().empty()) {
        std::cout << app.help();
        return 0;
    }
    return ctx.exitCode;
}

}  // namespace plover::cli
