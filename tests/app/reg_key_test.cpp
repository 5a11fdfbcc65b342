#include <gtest/gtest.h>

#include "app/reg_key.h"
#include "app/reg_store.h"

namespace plover {
namespace {

TEST(RegKey, EncodedStringForm) {
    EXPECT_EQ(EncodeRegString("abc"), "X9e9d9c");
    EXPECT_EQ(EncodeRegString(""), "X");
    struct SCase {
        const char* stored;
        bool ok;
        const char* text;
    } cases[] = {
        {"X9e9d9c", true, "abc"}, {"X9E9D9C", true, "abc"}, {"X", true, ""},   {"X9e9d9", false, nullptr},
        {"Y9e", false, nullptr},  {"", false, nullptr},     {"Xzz", false, nullptr},
    };
    for (const auto& c : cases) {
        std::string text = "unchanged";
        EXPECT_EQ(DecodeRegString(c.stored, text), c.ok) << c.stored;
        EXPECT_EQ(text, c.ok ? c.text : "unchanged") << c.stored;
    }
}

class RegKeyTest : public ::testing::Test {
protected:
    CRegStore store;
    HKEY root = store.Root();
};

TEST_F(RegKeyTest, OpenGuardsAndCreation) {
    CBRRegKey key;
    EXPECT_FALSE(key.OpenForRead(root, nullptr));
    EXPECT_FALSE(key.OpenForWrite(root, ""));
    EXPECT_FALSE(key.OpenForWrite(nullptr, "a"));
    EXPECT_FALSE(key.OpenForRead(root, "Software\\Bramble"));  // reading never creates
    ASSERT_TRUE(key.OpenForWrite(root, "Software\\Bramble\\Plover"));
    EXPECT_TRUE(key.IsOpenForWrite());
    EXPECT_FALSE(key.IsOpenForRead());
    CBRRegKey again;
    EXPECT_TRUE(again.OpenForRead(root, "software\\BRAMBLE\\plover"));  // names ignore case
    key.Close();
    EXPECT_FALSE(key.IsOpen() || key.IsOpenForWrite());
}

TEST_F(RegKeyTest, ValuesByKindAndMode) {
    CBRRegKey key;
    ASSERT_TRUE(key.OpenForWrite(root, "k"));
    EXPECT_FALSE(key.WriteString("s", nullptr));
    EXPECT_TRUE(key.WriteDWord("Number", 7));
    EXPECT_TRUE(key.WriteString("plain", "abc"));
    EXPECT_TRUE(key.WriteString("secret", "abc", 1));

    uint32_t n = 0;
    EXPECT_TRUE(key.ReadDWord("number", n));
    EXPECT_EQ(n, 7u);
    EXPECT_FALSE(key.ReadDWord("", n));
    EXPECT_FALSE(key.ReadDWord("plain", n));  // a string is no number
    std::string s;
    EXPECT_TRUE(key.ReadString("secret", s));
    EXPECT_EQ(s, "X9e9d9c");
    EXPECT_TRUE(key.ReadString("secret", s, 1));
    EXPECT_EQ(s, "abc");
    s = "kept";
    EXPECT_FALSE(key.ReadString("plain", s, 1));  // not an encoded form
    EXPECT_FALSE(key.ReadString("Number", s));
    EXPECT_EQ(s, "kept");
}

TEST_F(RegKeyTest, DeleteTreeRemovesSubkeysAndStopsOpenHandles) {
    CBRRegKey a, deep;
    ASSERT_TRUE(a.OpenForWrite(root, "a"));
    ASSERT_TRUE(deep.OpenForWrite(root, "a\\b\\c"));
    ASSERT_TRUE(CBRRegKey().OpenForWrite(root, "a\\d"));
    EXPECT_TRUE(CBRRegKey::DeleteTree(root, "a\\b"));
    EXPECT_FALSE(deep.WriteDWord("x", 1));  // its key is gone
    std::string name;
    EXPECT_TRUE(a.EnumKey(0, name));
    EXPECT_EQ(name, "d");
    EXPECT_FALSE(a.EnumKey(1, name));
    EXPECT_FALSE(CBRRegKey::DeleteTree(root, "a\\b"));
    EXPECT_TRUE(CBRRegKey::DeleteTree(root, "A"));
    EXPECT_FALSE(CBRRegKey().OpenForRead(root, "a"));
}

}  // namespace
}  // namespace plover
