#pragma once
// Where the socket engine's read throttle takes its quota: dwTransferQuota (bytes per second, for
// all connections together) of the current traffic mode.
#include <cstdint>

namespace plover {

uint32_t CurrentTransferQuota();

}  // namespace plover
