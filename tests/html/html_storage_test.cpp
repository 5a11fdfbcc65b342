// The node pool: records are found again by their index across the growing and the full chunks,
// and never move while the pool grows.
#include "html/html_storage.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace plover::html
