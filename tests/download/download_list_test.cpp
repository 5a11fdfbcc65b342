// The download list: reordering, renumbering and the load failures; categories and filters.
#include "download/download_list.h"

#include <gtest/gtest.h>

#include "download/categories.h"
#include "download/download_filter.h"
#include "download/download_status.h"
#include "download/fake_download.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::FakeDownload;

std::vector<int> MoveOf(int count, std::vector<int> movers, std::vector<int> targets, bool after) {
    std::vector<int> items;
    for (int i = 0; i < count; ++i) items.push_back(i);
    ApplyMove(items, movers, std::vector<int32_t>(targets.begin(), targets.end()), after,
              [](int v) { return v; });
    return items;
}

TEST(DownloadListMove, Table) {
    struct Case {
        const char* name;
        std::vector<int> movers, targets;
        bool after;
        std::vector<int> expected;
    } cases[] = {
        {"first after third", {0}, {2}, true, {1, 2, 0, 3, 4}},
        {"fourth before second", {3}, {1}, false, {0, 3, 1, 2, 4}},
        {"first before third", {0}, {2}, false, {1, 0, 2, 3, 4}},
        {"fourth after second", {3}, {1}, true, {0, 1, 3, 2, 4}},
        {"unknown target skipped", {1}, {9}, true, {0, 1, 2, 3, 4}},
        // Each entry lands right after the target, so entries processed later come first.
        {"two after the last", {0, 1}, {4, 4}, true, {2, 3, 4, 1, 0}},
        {"two before the first", {3, 4}, {0, 0}, false, {3, 4, 0, 1, 2}},
    };
    for (auto& c : cases) EXPECT_EQ(MoveOf(5, c.movers, c.targets, c.after), c.expected) << c.name;
}

TEST(DownloadList, MoveRenumbersAndRefusesMismatchedRequests) {
    CDownloadList list;
    std::vector<RefPtr<FakeDownload>> d;
    for (int i = 0; i < 4; ++i) {
        d.push_back(FakeDownload::Make());
        list.Add(d.back().Get());
    }
    list.Renumber();
    SMoveRequest bad{{d[0].Get()}, {2}, {}};
    EXPECT_FALSE(list.Move(&bad));
    EXPECT_FALSE(list.Move(nullptr));
    SMoveRequest request{{d[0].Get()}, {2}, {1}};
    ASSERT_TRUE(list.Move(&request));
    std::vector<IDownload*> order;
    for (int i = 0; i < list.GetCount(); ++i) {
        RefPtr<IDownload> x;
        ASSERT_TRUE(list.Get(i, x.Put()));
        order.push_back(x.Get());
        EXPECT_EQ(x->GetQueueValue(), i);
    }
    EXPECT_EQ(order, (std::vector<IDownload*>{d[1].Get(), d[2].Get(), d[0].Get(), d[3].Get()}));
}

TEST(DownloadList, EntriesAreCountedReferences) {
    auto d = FakeDownload::Make();
    d->id = 42;  // a download's ID is fixed before it joins a list
    {
        CDownloadList list;
        EXPECT_EQ(list.Add(nullptr), -1);
        EXPECT_EQ(list.Add(d.Get()), 0);
        EXPECT_EQ(list.IndexOf(d.Get()), 0);
        RefPtr<IDownload> out;
        EXPECT_FALSE(list.Get(3, out.Put()));
        EXPECT_FALSE(list.Get(0, nullptr));
        // Found by its ID with a reference of its own; an unknown ID finds nothing.
        RefPtr<IDownload> found;
        ASSERT_TRUE(list.FindByID(42, found.Put()));
        EXPECT_EQ(found.Get(), static_cast<IDownload*>(d.Get()));
        EXPECT_FALSE(list.FindByID(7, found.Put()));
        EXPECT_FALSE(list.FindByID(42, nullptr));
    }
    // The list released its reference: ours is the last one.
    EXPECT_EQ(d->AddRef(), 2u);
    d->Release();
}

TEST(DownloadList, FindByIDFollowsRemovalsAndAnswersARepeatedIDWithTheFirstInOrder) {
    auto a = FakeDownload::Make(), b = FakeDownload::Make(), c = FakeDownload::Make();
    a->id = 5, b->id = 5, c->id = 6;  // a damaged list file may repeat an ID
    CDownloadList list;
    list.Add(a.Get()), list.Add(b.Get()), list.Add(c.Get());
    RefPtr<IDownload> found;
    ASSERT_TRUE(list.FindByID(5, found.Put()));
    EXPECT_EQ(found.Get(), static_cast<IDownload*>(a.Get()));
    list.RemoveAt(0);
    ASSERT_TRUE(list.FindByID(5, found.Put()));
    EXPECT_EQ(found.Get(), static_cast<IDownload*>(b.Get()));
    list.RemoveAt(0);
    EXPECT_FALSE(list.FindByID(5, found.Put()));
    EXPECT_TRUE(list.FindByID(6, found.Put()));
}

TEST(DownloadList, LoadFailsWithoutAListGroupAndSucceedsOnAnEmptyOne) {
    test::TempDir dir;
    CDownloadList list;
    EXPECT_FALSE(list.Load((dir / "missing.fll").string(), nullptr));
    test::WriteFile(dir / "other.fll", "FL\r\n{\r\n\tSOMETHING\r\n\t{\r\n\t}\r\n}\r\n");
    EXPECT_FALSE(list.Load((dir / "other.fll").string(), nullptr));
    test::WriteFile(dir / "empty.fll", "FL\r\n{\r\n\tDNL_LIST\r\n\t{\r\n\t}\r\n}\r\n");
    EXPECT_TRUE(list.Load((dir / "empty.fll").string(), nullptr));
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(Categories, RulesAsTables) {
    std::vector<SCategoryProp> cats = {
        {"Pictures", "/pics", "gif,jpg,jpeg png"},
        {"Music", "/music", "mp3, ogg"},
    };
    struct Case {
        const char* file;
        const char* folder;
        int index;
    } byFile[] = {
        {"a.JPG", "", 0}, {"a.ogg", "", 1}, {"a.pe", "", 0},  // substring: "pe" is inside "jpeg"
        {"a.txt", "/MUSIC", 1}, {"a.txt", "/else", -1}, {"noext", "", -1}, {"a.", "", -1},
    };
    for (auto& c : byFile) EXPECT_EQ(CategoryIndexFor(cats, c.file, c.folder), c.index) << c.file;
    struct ExtCase {
        const char* ext;
        const char* folder;  // "" when no category holds the extension as a whole item
    } byExt[] = {{"png", "/pics"}, {"JPEG", "/pics"}, {"ogg", "/music"}, {"pe", ""}, {"mp", ""}, {"", ""}};
    for (auto& c : byExt) {
        const SCategoryProp* p = CategoryForExtension(cats, c.ext);
        EXPECT_EQ(p ? p->folder : std::string(), c.folder) << c.ext;
    }
}

TEST(DownloadFilters, DefaultListInOrder) {
    ClearCategories();
    AddCategory({"Pictures", "/pics", "jpg"});
    DownloadFilterList list = MakeDefaultDownloadFilters();
    ClearCategories();
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[0].name, "All downloads");
    EXPECT_EQ(list[0].kind, FILTER_ALL);
    EXPECT_EQ(list[1].name, "Pictures");
    EXPECT_EQ(list[1].values, std::vector<uint32_t>{0});
    EXPECT_EQ(list[2].name, "Active");
    EXPECT_EQ(list[3].values, std::vector<uint32_t>{DS_FINISHED});
    EXPECT_EQ(list[4].values, (std::vector<uint32_t>{DS_PAUSED, DS_WAIT_FOR_USER}));
    EXPECT_EQ(list[5].name, "Failed");
    EXPECT_EQ(list[5].values.size(), 19u);
    for (uint32_t s : list[5].values) EXPECT_EQ(StatusClass(s), DSC_FAILED) << StatusText(s);
}

}  // namespace
}  // namespace plover
