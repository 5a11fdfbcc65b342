// plover run: starts Plover (the engines come up in order) and keeps it running until SIGINT or
// SIGTERM, then stops the engines in reverse order and saves everything. Meanwhile it serves the
// same API as `plover ui` on a free loopback port (and its windows, unless --no-ui), so that the
// other commands of the home do their work through it (web_front.h).
#include <memory>

#include "cli/command.h"
#include "cli/web_front.h"

namespace plover::cli {
namespace {

void Setup(CLI::App& app, CliContext& ctx) {
    auto noUi = std::make_shared<bool>(false);
    auto* cmd = app.add_subcommand("run", "Start Plover and keep it running until Ctrl-C (SIGINT) or SIGTERM");
    cmd->add_flag("--no-ui", *noUi, "Serve no windows, only the commands of the other plover commands of this home");
    cmd->callback([&ctx, noUi] { RunServeCommand(ctx, *noUi); });
}

CommandRegistrar registrar("run", Setup);

}  // namespace
}  // namespace plover::cli
