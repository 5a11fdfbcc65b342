// The read throttle's arithmetic, driven by an explicit clock.
#include <gtest/gtest.h>

#include "net/transfer_window.h"

namespace plover {
namespace {

constexpr uint32_t kNone = STransferWindow::kNone;

TEST(TransferWindow, AllowanceTable) {
    struct Row {
        const char* name;
        uint32_t quota, sockets, usedBefore, expected;
    };
    const Row rows[] = {
        {"share split among two sockets", 10000, 2, 0, 1000},
        {"what is left of the share caps", 10000, 2, 1500, 500},
        {"share used up", 10000, 2, 2000, kNone},
        {"share overrun by an unlimited read", 10000, 2, 5000, kNone},
        {"one socket takes the whole share", 10000, 1, 0, 2000},
        {"no socket counts as one", 10000, 0, 0, 2000},
        {"quota 10240 and two sockets", 10240, 2, 0, 1024},
        {"a quota below five bytes gives nothing", 4, 1, 0, kNone},
    };
    for (const Row& r : rows) {
        STransferWindow w(1000);
        w.dwUsed = r.usedBefore;
        EXPECT_EQ(w.Allowance(r.quota, r.sockets, 1050), r.expected) << r.name;
    }
}

// Quota 10000 with two sockets: reads of at most 1000, at most 2000 in one window; the rest waits
// for the next window.
TEST(TransferWindow, TwoSocketsShareOneWindow) {
    STransferWindow w(0);
    uint32_t total = 0;
    for (int read = 0; read < 10; ++read) {
        uint32_t limit = ReadLimit(true, false, false, w, 10000, 2, 10);
        if (limit == 0) break;
        EXPECT_LE(limit, 1000u);
        w.Consume(limit, 10);
        total += limit;
    }
    EXPECT_EQ(total, 2000u);
    EXPECT_EQ(w.bExhausted, 1u);
    EXPECT_EQ(ReadLimit(true, false, false, w, 10000, 2, 199), 0u) << "still the same window";
    EXPECT_EQ(ReadLimit(true, false, false, w, 10000, 2, 200), 1000u) << "a new window";
    EXPECT_EQ(w.dwUsed, 0u);
}

TEST(TransferWindow, UnlimitedReads) {
    STransferWindow w(0);
    w.dwUsed = 2000;
    w.bExhausted = 1;
    EXPECT_EQ(ReadLimit(true, true, false, w, 10000, 2, 10), kMaxSocketRead) << "first read";
    EXPECT_EQ(ReadLimit(true, false, true, w, 10000, 2, 10), kMaxSocketRead) << "close in the batch";
    EXPECT_EQ(ReadLimit(false, false, false, w, 10000, 2, 10), kMaxSocketRead) << "not throttled";
    EXPECT_EQ(ReadLimit(true, false, false, w, 0xFFFFFFFF, 1, 10), 0u) << "the window stays used up";
    STransferWindow fresh(0);
    EXPECT_EQ(ReadLimit(true, false, false, fresh, 0xFFFFFFFF, 1, 10), kMaxSocketRead) << "capped to the buffer";
}

TEST(TransferWindow, RollsAcrossTheTickWrap) {
    STransferWindow w(0xFFFFFF00u);
    w.dwUsed = 5;
    w.Consume(1, 0xFFFFFF00u + 199);
    EXPECT_EQ(w.dwUsed, 6u);
    w.Roll(0x00000010u);  // 0x110 ms later
    EXPECT_EQ(w.dwUsed, 0u);
    EXPECT_EQ(w.dwStart, 0x00000010u);
}

}  // namespace
}  // namespace plover
