#include "download/retry_rule.h"

#include <algorithm>

namespace plover {
namespace {

constexpr uint32_t kFirstPauseMs = 2000;
constexpr uint32_t kLongestPauseMs = 60000;

}  // namespace

uint32_t RetryPauseMs(uint32_t failures) {
    uint32_t doublings = std::min<uint32_t>(failures == 0 ? 0 : failures - 1, 16);
    return std::min<uint32_t>(kFirstPauseMs << doublings, kLongestPauseMs);
}

SRetryVerdict DecideRetry(uint32_t attemptsMade, uint32_t attemptLimit, bool othersRunning) {
    SRetryVerdict v;
    v.pauseMs = RetryPauseMs(std::max<uint32_t>(attemptsMade, 1));
    if (othersRunning) return v;
    v.counts = true;
    v.giveUp = attemptsMade + 1 > attemptLimit;
    return v;
}

}  // namespace plover
