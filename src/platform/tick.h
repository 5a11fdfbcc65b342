#pragma once
// The system tick count: milliseconds of the monotonic clock, unsigned 32-bit and wrapping.
// Intervals are always computed by unsigned subtraction (now - then), which survives the wrap.
#include <cstdint>

namespace plover {

uint32_t GetTickCount();
void SleepMs(uint32_t ms);

}  // namespace plover
