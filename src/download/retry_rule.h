#pragma once
// The one rule for an attempt of a download that ended without usable data: no connection, a
// connection that closed without a reply or before the bytes it announced, a time-out, a server
// error. Every such path of the download and its workers ends here, so that no server, however
// it misbehaves, can make a download ask again at once and for ever.
//
// An attempt that fails while no other worker of the download runs consumes one of the
// download's attempts ("dwRetry" of the time-out parameters: the number of attempts a download
// makes); when none is left the failure's status is set and the download stops. While other
// workers run, the failure is theirs to outlast: it consumes nothing, but no new connection is
// made before the pause. Each further failure doubles the pause, up to a minute. Data that takes
// the download further than it ever was starts the count afresh (the download's business).
//
// A server that is too busy (429 "Too Many Requests", 503 "Service Unavailable") may say when to
// come back (Retry-After: seconds, or an HTTP date). Then the download waits that long, at most
// the setting "dwMaxRetryAfter" (seconds; never more than a day), and asks again without consuming an attempt: the server has not failed, it
// has asked for patience. Only kMaxServerWaits such waits in a row are free (a server that always
// says "later" must not hold a download for ever); data that takes the download further starts
// them afresh. Without Retry-After the answer is a failed attempt like any other, but its pause
// is jittered (a random part of its second half is taken off), so that the downloads a busy
// server refused together do not all come back at the same moment.
#include <cstdint>
#include <optional>
#include <string_view>

namespace plover {

inline constexpr uint32_t kLongestServerWaitSeconds = 24 * 60 * 60;
inline constexpr uint32_t kMaxServerWaits = 10;

struct SRetryVerdict {
    bool counts = false;   // the attempt consumes one of the download's attempts
    bool giveUp = false;   // set the failure's status: no further attempt
    uint32_t pauseMs = 0;  // otherwise: no new connection before this pause has passed
};

// attemptsMade: the download's attempt counter before this failure (1 for the first attempt).
SRetryVerdict DecideRetry(uint32_t attemptsMade, uint32_t attemptLimit, bool othersRunning);

// The pause after the n-th failed attempt in a row (n >= 1): 2 s, 4 s, 8 s ... at most 60 s.
uint32_t RetryPauseMs(uint32_t failures);

// The pause in [pauseMs / 2, pauseMs] that `random` (any 32-bit value) picks.
uint32_t JitteredPauseMs(uint32_t pauseMs, uint32_t random);

// The wait a Retry-After value asks for, in ms, bounded by longestSeconds (itself bounded by
// kLongestServerWaitSeconds); a date in the past asks for none. nullopt when the value is neither
// a number of seconds nor a date. nowSeconds: the current time in seconds since 1970 (UTC).
std::optional<uint32_t> RetryAfterMs(std::string_view value, int64_t nowSeconds, uint32_t longestSeconds);

}  // namespace plover
