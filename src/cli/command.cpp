#include "cli/command.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>

#ifndef PLOVER_VERSION
#define PLOVER_VERSION "0"
#endif

namespace plover::cli {
namespace {

std::map<std::string, CommandSetup>& Registry() {
    static std::map<std::string, CommandSetup> commands;  // sorted by name for --help
    return commands;
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
    app.require_subcommand(0, 1);
    for (auto& [name, setup] : Registry()) setup(app, ctx);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    if (app.get_subcommands().empty()) {
        std::cout << app.help();
        return 0;
    }
    return ctx.exitCode;
}

}  // namespace plover::cli
