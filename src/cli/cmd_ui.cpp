// plover ui: starts Plover (every engine, in order) together with the web front end's server,
// prints the address to open, and runs until Ctrl-C, SIGTERM or Exit in the page's menu. Then the
// server stops first (no new commands), the engines stop in reverse order and everything is
// saved (web_front.h).
#include <memory>

#include "cli/command.h"
#include "cli/web_front.h"

namespace plover::cli {
namespace {

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SUiOptions>();
    auto* cmd = app.add_subcommand("ui", "Start Plover with its windows in the browser (until Ctrl-C, SIGTERM or Exit)");
    cmd->add_option("--listen", options->listen, "ADDRESS:PORT to listen on (default 127.0.0.1 and a free port)");
    cmd->add_flag("--open", options->open, "Open the address in the desktop's browser (xdg-open)");
    cmd->callback([&ctx, options] { RunUiCommand(ctx, *options); });
}

CommandRegistrar registrar("ui", Setup);

}  // namespace
}  // namespace plover::cli
