// The cache index: its rows, eviction order, and the index file byte for byte, with every damaged
// or hostile form refused whole.
#include "scan/cache_index.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace plover {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(char(v));
    return s;
}

CCacheIndex ThreeRows() {
    CCacheIndex index;
    index.Add("http://h/b.html", "http://h/b2.html", "srchB.tmp", "Mon, 01 Jan 2024 00:00:00 GMT", 200);
    index.Add("http://h/a.html", "http://h/a.html", "srchA.tmp", "", 100);
    index.Add("http://h/c.jpg", "http://h/c.jpg", "srchC.tmp", "", 300);
    return index;
}

TEST(CacheIndex, RowsStaySortedByAddressWithStampsInInsertionOrder) {
    CCacheIndex index = ThreeRows();
    ASSERT_EQ(index.GetCount(), 3);
    EXPECT_EQ(index.GetUrl(0), "http://h/a.html");
    EXPECT_EQ(index.GetUrl(1), "http://h/b.html");
    EXPECT_EQ(index.GetStamp(0), 1u);  // the second insertion
    EXPECT_EQ(index.GetStamp(1), 0u);
    EXPECT_EQ(index.GetEffectiveUrl(1), "http://h/b2.html");
    EXPECT_EQ(index.GetTotalSize(), 600u);
    EXPECT_EQ(index.GetNextStamp(), 3u);
    EXPECT_EQ(index.Add("http://h/a.html", "x", "srchX.tmp", "", 5), -1);  // duplicates refused
    EXPECT_EQ(index.GetTotalSize(), 600u);

    index.RemoveAt(index.Find("http://h/b.html"));
    EXPECT_EQ(index.GetCount(), 2);
    EXPECT_EQ(index.GetTotalSize(), 400u);
    EXPECT_EQ(index.GetFileName(1), "srchC.tmp");  // the columns moved together

    index.Renew(0, "http://h/a2.html", "srchN.tmp", "date", 50);
    EXPECT_EQ(index.GetTotalSize(), 350u);
    EXPECT_EQ(index.GetStamp(0), 3u);
    index.Clear();
    EXPECT_EQ(index.GetCount(), 0);
    EXPECT_EQ(index.GetTotalSize(), 0u);
    EXPECT_EQ(index.GetNextStamp(), 0u);
}

TEST(CacheIndex, EvictionTakesTheSmallestStampFirstAndTheFirstRowAmongEqualOnes) {
    CCacheIndex index;
    ASSERT_EQ(index.Parse(Bytes({7, 0, 0, 0,                                       // version
                                 3, 0, 0, 0, 1, 'a', 1, 'b', 1, 'c',               // URLs
                                 3, 0, 0, 0, 1, 'a', 1, 'b', 1, 'c',               // effective
                                 3, 0, 0, 0, 1, 'x', 1, 'y', 1, 'z',               // files
                                 3, 0, 0, 0, 0, 0, 0,                              // dates
                                 3, 0, 10, 0, 0, 0, 20, 0, 0, 0, 30, 0, 0, 0,      // sizes
                                 3, 0, 5, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0})),      // stamps
              ECacheIndexLoad::Loaded);
    EXPECT_EQ(index.GetTotalSize(), 60u);
    EXPECT_EQ(index.GetNextStamp(), 6u);
    EXPECT_EQ(index.PickEvictions(60), std::vector<int>{});
    EXPECT_EQ(index.PickEvictions(59), std::vector<int>{1});
    EXPECT_EQ(index.PickEvictions(10), (std::vector<int>{1, 2}));
    EXPECT_EQ(index.PickEvictions(0), (std::vector<int>{1, 2, 0}));
    index.RemoveRows({2, 1});
    ASSERT_EQ(index.GetCount(), 1);
    EXPECT_EQ(index.GetFileName(0), "x");
    EXPECT_EQ(index.GetTotalSize(), 10u);
    EXPECT_EQ(index.GetNextStamp(), 6u);
}

TEST(CacheIndexFile, ByteForByte) {
    CCacheIndex index;
    index.Add("u", "e", "f", "", 0x01020304);
    EXPECT_EQ(index.Serialize(), Bytes({7, 0, 0, 0,                  // version 7
                                        1, 0, 0, 0, 1, 'u',          // a 32-bit count, one-byte lengths
                                        1, 0, 0, 0, 1, 'e',          //
                                        1, 0, 0, 0, 1, 'f',          //
                                        1, 0, 0, 0, 0,               // the empty date
                                        1, 0, 4, 3, 2, 1,            // 16-bit array count, raw size
                                        1, 0, 0, 0, 0, 0}));         // stamp 0
}

TEST(CacheIndexFile, StringLengthFormsAtTheirBoundaries) {
    struct SCase {
        size_t length;
        std::string prefix;
    } cases[] = {
        {254, Bytes({254})},
        {255, Bytes({0xFF, 255, 0})},
        {0xFFFD, Bytes({0xFF, 0xFD, 0xFF})},
        {0xFFFE, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 1, 0})},
    };
    for (const auto& c : cases) {
        CCacheIndex index;
        std::string url(c.length, 'u');
        index.Add(url, "e", "f", "", 1);
        std::string bytes = index.Serialize();
        EXPECT_EQ(bytes.substr(8, c.prefix.size()), c.prefix) << c.length;
        CCacheIndex back;
        ASSERT_EQ(back.Parse(bytes), ECacheIndexLoad::Loaded) << c.length;
        EXPECT_EQ(back.GetUrl(0), url);
    }
}

TEST(CacheIndexFile, RoundTripOfManyRowsUsesTheLongArrayCount) {
    CCacheIndex index;
    for (int i = 0; i < 70000; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "%06d", i);  // in ascending order: every row is appended
        index.Add(std::string("http://h/") + key, std::string("http://e/") + key, std::string("srch") + key + ".tmp",
                  i % 2 ? "Tue, 02 Jan 2024 00:00:00 GMT" : "", uint32_t(i));
    }
    std::string bytes = index.Serialize();
    CCacheIndex back;
    ASSERT_EQ(back.Parse(bytes), ECacheIndexLoad::Loaded);
    ASSERT_EQ(back.GetCount(), 70000);
    EXPECT_EQ(back.GetTotalSize(), index.GetTotalSize());
    EXPECT_EQ(back.GetNextStamp(), 70000u);
    for (int i : {0, 1, 4242, 69999}) {
        SCacheRow a = index.GetRow(i), b = back.GetRow(i);
        EXPECT_EQ(a.url, b.url);
        EXPECT_EQ(a.effectiveUrl, b.effectiveUrl);
        EXPECT_EQ(a.fileName, b.fileName);
        EXPECT_EQ(a.lastModified, b.lastModified);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.stamp, b.stamp);
    }
    EXPECT_EQ(back.Serialize(), bytes);
    // The size column's count: 0xFFFF and then 70000 in 32 bits.
    size_t sizes = bytes.size() - 2 * (6 + 4 * 70000);
    EXPECT_EQ(bytes.substr(sizes, 6), Bytes({0xFF, 0xFF, 0x70, 0x11, 1, 0}));
}

TEST(CacheIndexFile, EmptyIndexLoadsWithTheFirstStampOne) {
    CCacheIndex index;
    ASSERT_EQ(index.Parse(CCacheIndex().Serialize()), ECacheIndexLoad::Loaded);
    EXPECT_EQ(index.GetCount(), 0);
    EXPECT_EQ(index.GetNextStamp(), 1u);
}

// One valid file, then damaged in one place each.
struct SDamage {
    const char* what;
    std::string bytes;
    ECacheIndexLoad expected;
};

std::string Header(uint32_t version) { return Bytes({int(version & 0xFF), int(version >> 8 & 0xFF), 0, 0}); }
std::string Strings(std::initializer_list<std::string> items) {
    std::string s = Bytes({int(items.size()), 0, 0, 0});
    for (const auto& i : items) s += char(i.size()) + i;
    return s;
}
std::string Numbers(std::initializer_list<uint32_t> items) {
    std::string s = Bytes({int(items.size()), 0});
    for (uint32_t v : items) s += Bytes({int(v & 0xFF), int(v >> 8 & 0xFF), int(v >> 16 & 0xFF), int(v >> 24)});
    return s;
}

TEST(CacheIndexFile, DamagedFormsAreRefusedWhole) {
    std::string twoUrls = Strings({"a", "b"});
    std::string twoFiles = Strings({"srch1.tmp", "srch2.tmp"});
    std::string twoDates = Strings({"", ""});
    SDamage cases[] = {
        {"valid", Header(7) + twoUrls + twoUrls + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::Loaded},
        {"version 6", Header(6) + twoUrls + twoUrls + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::BadVersion},
        {"size column one short", Header(7) + twoUrls + twoUrls + twoFiles + twoDates + Numbers({1}) + Numbers({0, 1}),
         ECacheIndexLoad::LengthMismatch},
        {"stamp column one short",
         Header(7) + twoUrls + twoUrls + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0}),
         ECacheIndexLoad::LengthMismatch},
        {"effective column one short",
         Header(7) + twoUrls + Strings({"a"}) + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::LengthMismatch},
        {"addresses out of order",
         Header(7) + Strings({"b", "a"}) + twoUrls + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::Unsorted},
        {"an address twice",
         Header(7) + Strings({"a", "a"}) + twoUrls + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::Unsorted},
        {"a file name up the tree",
         Header(7) + twoUrls + twoUrls + Strings({"srch1.tmp", "../x"}) + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::BadFileName},
        {"an absolute file name",
         Header(7) + twoUrls + twoUrls + Strings({"/etc/passwd", "b"}) + twoDates + Numbers({1, 2}) +
             Numbers({0, 1}),
         ECacheIndexLoad::BadFileName},
        {"an empty file name",
         Header(7) + twoUrls + twoUrls + Strings({"", "b"}) + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::BadFileName},
        {"a dot", Header(7) + twoUrls + twoUrls + Strings({".", "b"}) + twoDates + Numbers({1, 2}) + Numbers({0, 1}),
         ECacheIndexLoad::BadFileName},
        {"stamp 0xFFFFFFFE leaves no next",
         Header(7) + twoUrls + twoUrls + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0, 0xFFFFFFFE}),
         ECacheIndexLoad::StampOverflow},
        {"stamp 0xFFFFFFFF would wrap",
         Header(7) + twoUrls + twoUrls + twoFiles + twoDates + Numbers({1, 2}) + Numbers({0xFFFFFFFF, 0}),
         ECacheIndexLoad::StampOverflow},
        {"a count of four billion strings", Header(7) + Bytes({0xFF, 0xFF, 0xFF, 0xFF, 1, 'a'}),
         ECacheIndexLoad::Truncated},
        {"a string claiming 4 GB", Header(7) + Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a'}),
         ECacheIndexLoad::Truncated},
        {"the length form 0xFFFE", Header(7) + Bytes({1, 0, 0, 0, 0xFF, 0xFE, 0xFF, 'a'}),
         ECacheIndexLoad::BadString},
        {"a number column claiming more than is there",
         Header(7) + Strings({}) + Strings({}) + Strings({}) + Strings({}) + Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}),
         ECacheIndexLoad::Truncated},
        {"empty file", "", ECacheIndexLoad::Truncated},
    };
    for (const auto& c : cases) {
        CCacheIndex index;
        index.Add("left", "over", "srchL.tmp", "", 9);
        EXPECT_EQ(index.Parse(c.bytes), c.expected) << c.what;
        if (c.expected != ECacheIndexLoad::Loaded) {
            EXPECT_EQ(index.GetCount(), 0) << c.what;
            EXPECT_EQ(index.GetTotalSize(), 0u) << c.what;
        }
    }
}

TEST(CacheIndexFile, EveryTruncationIsRefused) {
    std::string bytes = ThreeRows().Serialize();
    for (size_t n = 0; n < bytes.size(); ++n) {
        CCacheIndex index;
        EXPECT_NE(index.Parse(std::string_view(bytes).substr(0, n)), ECacheIndexLoad::Loaded) << n;
        EXPECT_EQ(index.GetCount(), 0);
    }
}

TEST(CacheIndexFile, TooManyRowsAreRefusedBeforeAnythingIsAllocated) {
    // A count within the bytes that are there, but more rows than a cache may hold.
    std::string bytes = Header(7) + Bytes({0x01, 0x00, 0x10, 0x00});  // 0x100001 strings
    bytes += std::string(size_t(kMaxCacheRows) + 1, '\0');
    CCacheIndex index;
    EXPECT_EQ(index.Parse(bytes), ECacheIndexLoad::TooLarge);
}

TEST(CacheIndex, PlainFileNames) {
    EXPECT_TRUE(IsPlainFileName("srch1A2B.tmp"));
    EXPECT_TRUE(IsPlainFileName("..x"));
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "/x"}) EXPECT_FALSE(IsPlainFileName(bad)) << bad;
    EXPECT_FALSE(IsPlainFileName(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace plover
