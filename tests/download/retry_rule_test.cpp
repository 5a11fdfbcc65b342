// The one rule after a failed attempt, as a table.
#include <gtest/gtest.h>

#include "download/retry_rule.h"

namespace plover {
namespace {

TEST(RetryRule, CountsPausesAndGivesUp) {
    struct Row {
        uint32_t attemptsMade, limit;
        bool othersRunning;
        bool counts, giveUp;
        uint32_t pauseMs;
    } rows[] = {
        {1, 1, false, true, true, 2000},    // one attempt allowed: the first failure ends it
        {1, 3, false, true, false, 2000},   // retried after 2 s
        {2, 3, false, true, false, 4000},   // the pause grows
        {3, 3, false, true, true, 8000},    // the third failure ends it
        {3, 3, true, false, false, 8000},   // other workers go on: nothing counted, but a pause
        {1, 0, false, true, true, 2000},    // a limit of 0 allows no second attempt either
        {9, 99, false, true, false, 60000}, // never longer than a minute
        {40, 99, false, true, false, 60000},
    };
    for (const Row& r : rows) {
        SRetryVerdict v = DecideRetry(r.attemptsMade, r.limit, r.othersRunning);
        SCOPED_TRACE(::testing::Message() << r.attemptsMade << "/" << r.limit << (r.othersRunning ? " others" : ""));
        EXPECT_EQ(v.counts, r.counts);
        EXPECT_EQ(v.giveUp, r.giveUp);
        EXPECT_EQ(v.pauseMs, r.pauseMs);
    }
}

}  // namespace
}  // namespace plover
