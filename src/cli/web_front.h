#pragma once
// The commands that serve the web front end: `plover ui` (the windows, until Ctrl-C, SIGTERM or
// Exit in the page) and `plover run` (the same API, its windows optional). Either starts the
// engines, serves, records the address in the home so that the home's other commands find it,
// and at the end stops the server first, then the engines in reverse order, and saves.
//
// Only the plover-web build of the program has them (web_front.cpp); the plain build hands the
// command over to it (web_handoff.cpp).
#include <string>

#include "cli/command.h"

namespace plover::cli {

struct SUiOptions {
    std::string listen = "127.0.0.1:0";
    bool open = false;
};

void RunUiCommand(CliContext& ctx, const SUiOptions& options);
void RunServeCommand(CliContext& ctx, bool noUi);

}  // namespace plover::cli
