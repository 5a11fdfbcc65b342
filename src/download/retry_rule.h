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
#include <cstdint>

namespace plover {

struct SRetryVerdict {
    bool counts = false;   // the attempt consumes one of the download's attempts
    bool giveUp = false;   // set the failure's status: no further attempt
    uint32_t pauseMs = 0;  // otherwise: no new connection before this pause has passed
};

// attemptsMade: the download's attempt counter before this failure (1 for the first attempt).
SRetryVerdict DecideRetry(uint32_t attemptsMade, uint32_t attemptLimit, bool othersRunning);

// The pause after the n-th failed attempt in a row (n >= 1): 2 s, 4 s, 8 s ... at most 60 s.
uint32_t RetryPauseMs(uint32_t failures);

}  // namespace plover
