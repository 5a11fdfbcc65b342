#include <gtest/gtest.h>

#include "download/section_planner.h"

namespace plover {
namespace {

using L = SectionList;

TEST(Planner, Merging) {
    struct Row {
        const char* name;
        L in, out;
    } rows[] = {
        {"touching", {{0, 100}, {100, 50}}, {{0, 150}}},
        {"apart", {{0, 100}, {150, 10}}, {{0, 100}, {150, 10}}},
        {"overlap", {{10, 20}, {0, 15}}, {{0, 30}}},
        {"inside", {{0, 100}, {20, 5}}, {{0, 100}}},
        {"chain folds back", {{0, 10}, {20, 10}, {10, 10}}, {{0, 30}}},
        {"order kept", {{50, 10}, {0, 10}, {60, 5}}, {{50, 15}, {0, 10}}},
        {"at 4 GiB", {{0xFFFFFF00u, 0xFEu}, {0xFFFFFE00u, 0x100u}}, {{0xFFFFFE00u, 0x1FEu}}},
    };
    for (auto& r : rows) {
        L list = r.in;
        MergeSections(list);
        EXPECT_EQ(list, r.out) << r.name;
    }
}

TEST(Planner, Gaps) {
    struct Row {
        const char* name;
        L occupied;
        uint32_t size;
        L gaps;
    } rows[] = {
        {"nothing", {}, 1000, {{0, 1000}}},
        {"inside splits, right part appended", {{250, 250}}, 1000, {{0, 250}, {500, 500}}},
        {"over the start", {{0, 250}}, 1000, {{250, 750}}},
        {"over the end", {{900, 200}}, 1000, {{0, 900}}},
        {"whole", {{0, 1000}}, 1000, {}},
        {"zero sizes skipped", {{0, 0}, {10, 0}}, 100, {{0, 100}}},
        {"two ranges", {{0, 250}, {625, 250}}, 1000, {{250, 375}, {875, 125}}},
        {"empty file", {}, 0, {}},
    };
    for (auto& r : rows) EXPECT_EQ(CutGaps(r.occupied, r.size), r.gaps) << r.name;
}

TEST(Planner, ChunkPlacement) {
    struct Row {
        const char* name;
        L gaps;
        uint32_t size, maxSect;
        bool wholeGap;
        SSection chunk;
        uint32_t minChunk = 0;
    } rows[] = {
        {"first worker at 0", {{0, 1000}}, 1000, 4, false, {0, 250}},
        {"middle of the gap", {{250, 750}}, 1000, 4, false, {625, 250}},
        {"moved back to end at the gap's end", {{250, 375}, {875, 125}}, 1000, 4, false, {375, 250}},
        {"small gap fetched whole", {{0, 100}, {500, 200}}, 1000, 4, false, {500, 200}},
        {"tie: first gap", {{100, 300}, {600, 300}}, 1200, 4, false, {100, 300}},
        {"tie split in its middle", {{0, 100}, {200, 400}, {700, 400}}, 2000, 10, false, {400, 200}},
        {"as many gaps as workers: gap start", {{10, 1400}, {1500, 400}}, 2000, 2, false, {10, 1000}},
        {"many gaps, chunk at start", {{10, 600}, {700, 100}, {900, 50}}, 1200, 3, false, {10, 400}},
        {"single section", {{0, 1000}}, 1000, 4, true, {0, 1000}},
        {"single section resumes the largest gap", {{0, 100}, {300, 700}}, 1000, 4, true, {300, 700}},
        {"no gaps", {}, 1000, 4, false, {0, 0}},
        {"one worker per download", {{0, 1000}}, 1000, 1, false, {0, 1000}},
        {"small file: one worker", {{0, 4096}}, 4096, 5, false, {0, 4096}, 10240},
        {"the least chunk first at 0", {{0, 30720}}, 30720, 5, false, {0, 10240}, 10240},
        {"the least chunk in the middle", {{10240, 20480}}, 30720, 5, false, {20480, 10240}, 10240},
        {"a larger share wins", {{0, 1000000}}, 1000000, 5, false, {0, 200000}, 10240},
        {"one byte", {{0, 1}}, 1, 4, false, {0, 1}},
        {"fewer bytes than workers: never a chunk of none", {{0, 3}}, 3, 4, false, {0, 1}},
        {"just over the least chunk: one worker", {{0, 10241}}, 10241, 5, false, {0, 10241}, 10240},
        {"a remainder below the least chunk goes along", {{10240, 15000}}, 40000, 5, false, {10240, 15000}, 10240},
    };
    for (auto& r : rows)
        EXPECT_EQ(PlaceChunk(r.gaps, r.size, r.maxSect, r.wholeGap, r.minChunk), r.chunk) << r.name;
}

TEST(Planner, PlaceableChunks) {
    EXPECT_TRUE(IsPlaceable({0, 10}, 10));
    EXPECT_FALSE(IsPlaceable({0, 0}, 10));
    EXPECT_FALSE(IsPlaceable({5, 10}, 10));
    EXPECT_FALSE(IsPlaceable({kUnknownSize, 1}, 10));
}

TEST(Planner, UncoveredPartsOfABlock) {
    struct Row {
        const char* name;
        L sections;
        uint32_t start, length;
        L parts;
    } rows[] = {
        {"nothing on disk", {}, 100, 50, {{100, 50}}},
        {"runs into a section", {{120, 100}}, 100, 50, {{100, 20}}},
        {"starts inside a section", {{0, 120}}, 100, 50, {{120, 30}}},
        {"all on disk", {{0, 1000}}, 100, 50, {}},
        {"a section in the middle", {{110, 10}}, 100, 50, {{100, 10}, {120, 30}}},
        {"unsorted sections", {{140, 5}, {105, 5}}, 100, 50, {{100, 5}, {110, 30}, {145, 5}}},
    };
    for (auto& r : rows) EXPECT_EQ(UncoveredParts(r.sections, r.start, r.length), r.parts) << r.name;
}

TEST(Planner, SubtractAndWhole) {
    L list{{0, 100}, {200, 100}};
    SubtractRange(list, 50, 200);
    EXPECT_EQ(list, (L{{0, 50}, {250, 50}}));
    EXPECT_TRUE(CoversWholeFile({{0, 10}}, 10));
    EXPECT_FALSE(CoversWholeFile({{0, 9}}, 10));
    EXPECT_FALSE(CoversWholeFile({{0, 5}, {5, 5}}, 10));  // not merged yet
    EXPECT_FALSE(CoversWholeFile({{0, 10}}, kUnknownSize));
    EXPECT_TRUE(CoversWholeFile({}, 0));
    EXPECT_TRUE(ContainsByte({{10, 5}}, 14));
    EXPECT_FALSE(ContainsByte({{10, 5}}, 15));
    EXPECT_EQ(HighestEnd({{10, 5}, {0, 30}}), 30u);
}

}  // namespace
}  // namespace plover
