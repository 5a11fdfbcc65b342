// The node pool: records are found again by their index across the growing and the full chunks,
// and never move while the pool grows. The byte arena: requests never share bytes.
#include "html/html_storage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace plover::html {
namespace {

TEST(ChunkedPool, EveryRecordIsFoundByItsIndexAndStaysPut) {
    CChunkedPool<int> pool;
    std::vector<int*> made;
    for (int i = 0; i < 5000; ++i) {
        int* p = pool.New();
        *p = i;
        made.push_back(p);
    }
    ASSERT_EQ(pool.Size(), 5000u);
    // The borders of the chunks (64, 128, 256, 512, then 1024 records) and a few others.
    for (size_t i : {0, 63, 64, 191, 192, 447, 448, 959, 960, 1983, 1984, 4999}) {
        EXPECT_EQ(pool.At(i), made[i]) << i;
        EXPECT_EQ(*pool.At(i), int(i)) << i;
    }
    for (size_t i = 0; i < made.size(); ++i) ASSERT_EQ(pool.At(i), made[i]) << i;
}

// Every request, whatever the block it lands in (one that does not fit the rest of the current
// block, one of its own), keeps its bytes apart from every other's.
TEST(ByteArena, EveryRequestKeepsItsOwnBytes) {
    CByteArena arena;
    std::vector<std::pair<char*, size_t>> taken;
    const size_t sizes[] = {1, 100, 3000, 2000, 10000, 16384, 16385, 70000, 5, 40000, 12000, 9000, 64, 1};
    for (int round = 0; round < 4; ++round)
        for (size_t size : sizes) {
            char* p = arena.Allocate(size);
            std::memset(p, int(taken.size() & 0x7F), size);
            taken.emplace_back(p, size);
        }
    for (size_t i = 0; i < taken.size(); ++i)
        for (size_t b = 0; b < taken[i].second; ++b)
            ASSERT_EQ(taken[i].first[b], char(i & 0x7F)) << "request " << i << " byte " << b;
    size_t total = 0;
    for (const auto& t : taken) total += t.second;
    EXPECT_GE(arena.BytesReserved(), total);
}

}  // namespace
}  // namespace plover::html
