#pragma once
// The parts of the program that the command-line front end plugs into start-up and shutdown:
// the engines in their registration order and the hooks of app/app.h. Each part adds its line to
// program_parts.cpp when it exists.
#include "app/app.h"

namespace plover::cli {

const SAppParts& ProgramParts();

}  // namespace plover::cli
