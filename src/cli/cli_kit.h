#pragma once
// What every command of the command line shares: the pace of plain progress lines and the way a
// refusal or failure is written.
#include <cstdint>
#include <ostream>

namespace plover::cli {

// Progress on standard error that is not a terminal: one plain line at most this often.
constexpr uint32_t kPlainProgressMs = 5000;

// Standard error with "plover: " written, for the rest of a refusal or failure line.
std::ostream& Complain();

}  // namespace plover::cli
