// plover run: starts Plover (the engines come up in order) and keeps it running until SIGINT or
// SIGTERM, then stops the engines in reverse order and saves everything.
#include <iostream>

#include "cli/app_session.h"
#include "cli/command.h"

namespace plover::cli {
namespace {

void Run(CliContext& ctx) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kEngines)) return;
    std::cout << "Plover is running (settings in " << app.App().Homes().settingsDir.string()
              << "). Stop it with Ctrl-C." << std::endl;
    app.RunUntilQuit();
    std::cout << "Stopping..." << std::endl;
    if (app.Stop()) std::cout << "Plover has stopped; settings saved." << std::endl;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto* cmd = app.add_subcommand("run", "Start Plover and keep it running until Ctrl-C (SIGINT) or SIGTERM");
    cmd->callback([&ctx] { Run(ctx); });
}

CommandRegistrar registrar("run", Setup);

}  // namespace
}  // namespace plover::cli
