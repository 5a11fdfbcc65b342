#include <gtest/gtest.h>

#include "app/reg_store.h"
#include "app/reg_table.h"
#include "app/str_array.h"

namespace plover {
namespace {

struct SBlock {
    int32_t a = 0, b = 0;
};

struct SVars {
    uint32_t number = 11;
    int32_t missing = -4;
    SBlock wrongSize{1, 2};
    SBlock absent{3, 4};
    std::string text = "kept";
    std::string notText = "kept";

    std::vector<SRegTableEntry> Table() {
        return {RegDWord("number", number),       RegInt("missing", missing),     RegBinary("wrongSize", wrongSize),
                RegBinary("absent", absent),       RegString("text", text),        RegString("notText", notText),
                {nullptr, nullptr, kRegEnd},       RegDWord("after the end", number)};
    }
};

class RegTableTest : public ::testing::Test {
protected:
    CBRRegKey Write(const char* path) {
        CBRRegKey k;
        k.OpenForWrite(store.Root(), path);
        return k;
    }
    CRegStore store;
};

TEST_F(RegTableTest, LoadByKind) {
    {
        CBRRegKey k;
        ASSERT_TRUE(k.OpenForWrite(store.Root(), "g"));
        k.WriteDWord("number", 5);
        uint32_t four = 9;
        k.WriteBinary("wrongSize", &four, 4);
        k.WriteString("text", "stored");
        k.WriteDWord("notText", 1);
        k.WriteDWord("after the end", 77);
    }
    SVars v;
    SerializeTable(v.Table(), store.Root(), "g", true);
    EXPECT_EQ(v.number, 5u);  // not 77: the table ends at kind 0
    EXPECT_EQ(v.missing, -4);
    EXPECT_EQ(v.wrongSize.a, 0);  // a block of another size zeroes the variable
    EXPECT_EQ(v.wrongSize.b, 0);
    EXPECT_EQ(v.absent.a, 0);  // so does a missing block
    EXPECT_EQ(v.text, "stored");
    EXPECT_EQ(v.notText, "kept");  // a number is no string

    SVars untouched;
    SerializeTable(untouched.Table(), store.Root(), "no such key", true);  // the group is skipped
    EXPECT_EQ(untouched.absent.a, 3);
}

TEST_F(RegTableTest, SaveThenLoadGivesTheSameValues) {
    SVars v;
    v.number = 0xFFFFFFFF;
    v.missing = -123;
    v.wrongSize = {-1, 65536};
    v.text = "";
    SerializeTable(v.Table(), store.Root(), "g", false);
    SVars w;
    w.text = "x";
    SerializeTable(w.Table(), store.Root(), "g", true);
    EXPECT_EQ(w.number, v.number);
    EXPECT_EQ(w.missing, v.missing);
    EXPECT_EQ(w.wrongSize.b, 65536);
    EXPECT_EQ(w.text, "");
}

// A record that remembers the index it was handed.
struct SIndexed : SRegAutoSaveItem {
    int index = -99;
    std::string name;
    void Serialize(const HKEY& parent, bool load, int i) override {
        index = i;
        CBRRegKey k;
        if (k.Open(parent, std::to_string(i).c_str(), load)) {
            if (load)
                k.ReadString("name", name);
            else
                k.WriteString("name", name);
        }
    }
};

TEST_F(RegTableTest, OwningArrayTakesTheIndexFromTheSubkeyName) {
    for (const char* sub : {"7", " -3", "+12abc", "x"}) Write((std::string("arr\\") + sub).c_str());
    CGCPtrArray<SIndexed> arr;
    SRegTableEntry table[] = {RegRecordPtrs(arr, []() -> SRegAutoSaveItem* { return new SIndexed; })};
    SerializeTable(table, store.Root(), "arr", true);
    ASSERT_EQ(arr.GetSize(), 4u);
    EXPECT_EQ(arr[0]->index, 7);
    EXPECT_EQ(arr[1]->index, -3);
    EXPECT_EQ(arr[2]->index, 12);
    EXPECT_EQ(arr[3]->index, 0);

    // A factory that makes nothing stops the load at once.
    CGCPtrArray<SIndexed> none;
    SRegTableEntry stop[] = {RegRecordPtrs(none, []() -> SRegAutoSaveItem* { return nullptr; })};
    SerializeTable(stop, store.Root(), "arr", true);
    EXPECT_EQ(none.GetSize(), 0u);

    // Saving hands each record its position.
    CGCPtrArray<SIndexed> out;
    for (const char* n : {"first", "second"}) {
        auto* r = new SIndexed;
        r->name = n;
        out.Add(r);
    }
    SRegTableEntry save[] = {RegRecordPtrs(out, []() -> SRegAutoSaveItem* { return new SIndexed; })};
    SerializeTable(save, store.Root(), "saved", false);
    CBRRegKey k;
    std::string name;
    ASSERT_TRUE(k.OpenForRead(store.Root(), "saved\\1"));
    EXPECT_TRUE(k.ReadString("name", name));
    EXPECT_EQ(name, "second");
}

TEST_F(RegTableTest, StringListStopsAtTheFirstGapAndSaveReplacesIt) {
    {
        CBRRegKey k = Write("list");
        for (const char* i : {"0", "1", "3"}) k.WriteString(i, std::string("v") + i);
    }
    CStrArrayEx list;
    ASSERT_TRUE(list.Load(store.Root(), "list"));
    ASSERT_EQ(list.GetSize(), 2);
    EXPECT_EQ(list[1], "v1");

    ASSERT_TRUE(list.Save(store.Root(), "list"));
    CBRRegKey k;
    ASSERT_TRUE(k.OpenForRead(store.Root(), "list"));
    std::string s;
    EXPECT_FALSE(k.ReadString("3", s));  // the old tree is gone
    EXPECT_TRUE(k.ReadString("1", s));
}

}  // namespace
}  // namespace plover
