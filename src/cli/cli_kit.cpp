#include "cli/cli_kit.h"

#include <iostream>

namespace plover::cli {

std::ostream& Complain() { return std::cerr << "plover: "; }

}  // namespace plover::cli
