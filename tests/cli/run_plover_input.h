#pragma once
// plover run with a given standard input (for "-i -" and other reads of standard input).
#include <string>
#include <vector>

#include "run_plover.h"

namespace plover::test {

SRunResult RunPloverWithInput(const std::string& home, const std::vector<std::string>& args, const std::string& input);

}  // namespace plover::test
