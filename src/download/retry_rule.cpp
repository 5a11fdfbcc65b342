#include "download/retry_rule.h"

#include <algorithm>

#include "net/http_date.h"

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

uint32_t JitteredPauseMs(uint32_t pauseMs, uint32_t random) {
    uint32_t half = pauseMs / 2;
    return pauseMs - (half == 0 ? 0 : random % (half + 1));
}

std::optional<uint32_t> RetryAfterMs(std::string_view value, int64_t nowSeconds, uint32_t longestSeconds) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty()) return std::nullopt;
    const uint64_t longest = std::min(longestSeconds, kLongestServerWaitSeconds);
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        uint64_t seconds = 0;
        for (char c : value) {
            seconds = seconds * 10 + uint64_t(c - '0');
            if (seconds > longest) return uint32_t(longest * 1000);  // years: capped, never wrapped
        }
        return uint32_t(seconds * 1000);
    }
    std::optional<int64_t> at = ParseHttpDate(value);
    if (!at) return std::nullopt;
    if (*at <= nowSeconds) return 0u;
    return uint32_t(std::min<uint64_t>(uint64_t(*at - nowSeconds), longest) * 1000);
}

}  // namespace plover
