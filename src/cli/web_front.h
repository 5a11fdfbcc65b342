#pragma once
// The web front end of a running Plover: its server (the API, the event stream and, unless
// config.pages is off, the windows), the first-run wizard, the jobs other commands of the home hand
// to it, the baskets' and the options' routes, and the address recorded in the home so that those
// commands find it. Shared by `plover ui` and `plover run`.
#include <functional>
#include <string>

#include "cli/app_session.h"
#include "web/web_server.h"

namespace plover::cli {

// With the engines of app started: serves until the program is told to quit (Ctrl-C, SIGTERM,
// Exit in the page), then stops the server, the engines in reverse order and saves. started gets
// the address to open once the server listens. ctx.exitCode is 1 when it cannot start.
void ServeUntilQuit(CliContext& ctx, CCliApp& app, web::SWebServerConfig config,
                    const std::function<void(const std::string&)>& started);

}  // namespace plover::cli
