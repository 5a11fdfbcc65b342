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

TEST(RetryRule, RetryAfterInSecondsOrAsADateIsBounded) {
    const int64_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    struct Row {
        const char* value;
        std::optional<uint32_t> ms;
    } rows[] = {
        {"0", 0u},
        {"600", 300000u},  // the cap of the setting
        {" 5 ", 5000u},
        {"120", 120000u},
        {"31536000000", 300000u},                  // years: capped
        {"999999999999999999999999999", 300000u},  // no overflow either
        {"Sun, 06 Nov 1994 08:50:07 GMT", 30000u},
        {"Sun, 06 Nov 1994 08:00:00 GMT", 0u},              // already past
        {"Fri, 31 Dec 2100 23:59:59 GMT", 300000u},
        {"", std::nullopt},
        {"-5", std::nullopt},
        {"1.5", std::nullopt},
        {"soon", std::nullopt},
    };
    for (const Row& r : rows) EXPECT_EQ(RetryAfterMs(r.value, now, 300), r.ms) << '"' << r.value << '"';
    // However large the setting, never more than a day.
    EXPECT_EQ(RetryAfterMs("31536000", now, 0xFFFFFFFFu), kLongestServerWaitSeconds * 1000);
}

TEST(RetryRule, JitterTakesAtMostHalfThePause) {
    for (uint32_t pause : {0u, 1u, 2000u, 60000u})
        for (uint32_t random : {0u, 1u, 777u, 0xFFFFFFFFu}) {
            uint32_t p = JitteredPauseMs(pause, random);
            EXPECT_LE(p, pause);
            EXPECT_GE(p, pause - pause / 2);
        }
    EXPECT_NE(JitteredPauseMs(60000, 1), JitteredPauseMs(60000, 20000));
}

}  // namespace
}  // namespace plover
