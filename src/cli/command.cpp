#include "cli/command.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string_view>

#include "cli/app_session.h"

#ifndef PLOVER_VERSION
#define PLOVER_VERSION "0"
#endif

namespace plover::cli {
namespace {

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

}  // namespace

CommandRegistrar::CommandRegistrar(const char* name, CommandSetup setup) { Registry()[name] = std::move(setup); }

int RunCommandLine(int argc, char** argv) {
    CliContext ctx;
    if (const char* h = std::getenv("PLOVER_HOME")) ctx.home = h;

    CLI::App app{"Plover collects pictures and files from the web.", "plover"};
    app.set_version_flag("--version", std::string("plover ") + PLOVER_VERSION);
    app.add_option("--home", ctx.home, "Keep settings and data in DIR (default: $PLOVER_HOME or the XDG folders)")
        ->type_name("DIR");
    bool installFlag = false, uninstallFlag = false;  // taken out before parsing; listed for --help
    app.add_flag("--install", installFlag, "Install Plover for this user (folders and default settings), then end");
    app.add_flag("--uninstall", uninstallFlag, "Remove this user's Plover settings (data is kept), then end");
    app.require_subcommand(0, 1);
    for (auto& [name, setup] : Registry()) setup(app, ctx);

    std::vector<char*> args = TakeSetupSwitches(argc, argv, ctx);
    try {
        app.parse(int(args.size()), args.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
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
