#include <gtest/gtest.h>

#include "app/str_array.h"

namespace plover {
namespace {

TEST(StrArrayEx, SortedModeKeepsByteOrderAndRefusesDuplicates) {
    CStrArrayEx a(true);
    struct SAdd {
        const char* s;
        int pos;
    } adds[] = {{"b", 0}, {"a", 0}, {"c", 2}, {"b", -1}, {"B", 0}, {"caf\xc3\xa9", 4}, {"", 0}};
    for (const auto& add : adds) EXPECT_EQ(a.Add(add.s), add.pos) << add.s;
    std::vector<std::string> order{"", "B", "a", "b", "c", "caf\xc3\xa9"};
    EXPECT_EQ(a.Items(), order);
    EXPECT_EQ(a.Find("c"), 4);
    EXPECT_EQ(a.Find("C", true), -1);  // sorted lookup is exact
    EXPECT_FALSE(a.InsertAt(0, "z"));
    EXPECT_FALSE(a.SetAt(0, "z"));
    EXPECT_FALSE(a.SetSorted(false));  // only while empty
    a.RemoveAll();
    EXPECT_TRUE(a.SetSorted(false));
}

TEST(StrArrayEx, UnsortedModeAppendsAndSearchesEitherWay) {
    CStrArrayEx a;
    EXPECT_EQ(a.Add("http://X.com/"), 0);
    EXPECT_EQ(a.Add("http://x.com/"), 1);
    EXPECT_EQ(a.Add("http://X.com/"), 2);
    EXPECT_EQ(a.Find("http://x.com/"), 1);
    EXPECT_EQ(a.Find("HTTP://x.COM/", true), 0);
    EXPECT_EQ(a.Find("HTTP://x.COM/"), -1);
    EXPECT_TRUE(a.InsertAt(3, "end"));
    EXPECT_FALSE(a.InsertAt(5, "past"));
    EXPECT_TRUE(a.SetAt(0, "first"));
    EXPECT_EQ(a[0], "first");
}

}  // namespace
}  // namespace plover
