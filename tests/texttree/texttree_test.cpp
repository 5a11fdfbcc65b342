#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "texttree/text_tree.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// "A : |1|" lines and "G { ... }" groups as one line of text, for comparing whole trees.
std::string Dump(const CTextTreeNode& group) {
    std::string out;
    for (size_t i = 0; i < group.GetChildCount(); ++i) {
        const CTextTreeNode* child = group.GetChild(i);
        if (!out.empty()) out += ' ';
        out += child->GetName();
        out += child->IsGroup() ? "{" + Dump(*child) + "}" : "=" + child->GetValue();
    }
    return out;
}

TEST(TextTreeWriter, WritesTheFileForm) {
    CTextTree tree;
    ASSERT_TRUE(tree.OpenGroup("DNL_LIST"));
    ASSERT_TRUE(tree.OpenGroup("DNL"));
    EXPECT_TRUE(tree.WriteString("URL_original", "http://h/a:b.jpg"));
    EXPECT_TRUE(tree.WriteNumber("ClientID", uint32_t(-1)));
    EXPECT_TRUE(tree.OpenGroup("LOGIN"));
    EXPECT_TRUE(tree.WriteString("Password", "abc", true));
    EXPECT_TRUE(tree.WriteString("Empty", "", true));
    tree.CloseGroup();
    tree.CloseGroup();
    tree.CloseGroup();
    EXPECT_EQ(tree.Serialize(),
              "FL\r\n{\r\n"
              "\tDNL_LIST\r\n\t{\r\n"
              "\t\tDNL\r\n\t\t{\r\n"
              "\t\t\tURL_original : |http://h/a:b.jpg|\r\n"
              "\t\t\tClientID : |4294967295|\r\n"
              "\t\t\tLOGIN\r\n\t\t\t{\r\n"
              "\t\t\t\tPassword : |X9e9d9c|\r\n"
              "\t\t\t\tEmpty : |X|\r\n"
              "\t\t\t}\r\n"
              "\t\t}\r\n"
              "\t}\r\n"
              "}\r\n");
}

TEST(TextTree, SavesAndLoadsBack) {
    TempDir dir;
    std::string path = (dir / "Default.fll").string();
    {
        CTextTree tree;
        tree.OpenGroup("DNL_LIST");
        for (uint32_t id = 1; id <= 2; ++id) {
            tree.OpenGroup("DNL");
            tree.WriteString("URL_original", "http://h/p:" + std::to_string(id));
            tree.WriteNumber("Prior", uint32_t(-1));
            tree.WriteString("Password", "pw|\xff", true);
            tree.CloseGroup();
        }
        ASSERT_TRUE(tree.Save(path));
    }
    CTextTree tree;
    ASSERT_TRUE(tree.Load(path));
    ASSERT_TRUE(tree.EnterGroup("DNL_LIST"));
    ASSERT_EQ(tree.GetCurrent().GetChildCount(), 2u);
    CTextTreeNode& second = *tree.GetCurrent().GetChild(1);
    ASSERT_TRUE(tree.EnterGroup(second));
    std::string url, password;
    uint32_t prior = 0;
    EXPECT_TRUE(tree.ReadString("URL_original", url));
    EXPECT_EQ(url, "http://h/p:2");  // ":" inside a value reads back whole
    EXPECT_TRUE(tree.ReadNumber("Prior", prior));
    EXPECT_EQ(prior, 0xFFFFFFFFu);
    EXPECT_TRUE(tree.ReadString("Password", password, true));
    EXPECT_EQ(password, "pw|\xff");
    tree.LeaveGroup();
    tree.LeaveGroup();
    EXPECT_EQ(&tree.GetCurrent(), &tree.GetRoot());
    // Only the list file is left in the folder: the temporary file was renamed over it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(TextTreeValues, NumbersReadAsDecimalDigitsOnly) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t value;
    } cases[] = {
        {"0", true, 0},           {"4294967295", true, 0xFFFFFFFFu}, {"4294967296", true, 0},
        {"007", true, 7},         {"", false, 0},                    {"12a", false, 0},
        {" 1", false, 0},         {"-1", false, 0},                  {"+1", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t out = 1234;
        EXPECT_EQ(ParseTreeNumber(c.text, out), c.ok) << c.text;
        EXPECT_EQ(out, c.ok ? c.value : 1234u) << c.text;  // a failed read keeps the default
    }
}

TEST(TextTreeValues, EncodedStringsDecodeOrFail) {
    struct Case {
        const char* text;
        bool ok;
        const char* value;
    } cases[] = {
        {"X", true, ""},      {"X9e9d9c", true, "abc"}, {"X9E9D9C", true, "abc"}, {"9e9d9c", false, ""},
        {"X9e9d", true, "ab"}, {"X9e9", false, ""},    {"X9g", false, ""},       {"", false, ""},
    };
    for (const Case& c : cases) {
        std::string out = "default";
        EXPECT_EQ(DecodeTreeString(c.text, out), c.ok) << c.text;
        EXPECT_EQ(out, c.ok ? c.value : "default") << c.text;
    }
    EXPECT_EQ(EncodeTreeString("abc"), "X9e9d9c");
    EXPECT_EQ(EncodeTreeString(""), "X");
}

TEST(TextTreeReader, ReadsTreesAsWritten) {
    struct Case {
        const char* name;
        const char* text;
        const char* tree;
        bool complete;  // the read found the file whole
    } cases[] = {
        {"values and groups", "FL\r\n{\r\n\tA : |1|\r\n\tG\r\n\t{\r\n\t\tB : |x y|\r\n\t}\r\n}\r\n", "A=1 G{B=x y}", true},
        {"nested FL braces are transparent", "FL\r\n{\r\n\tG\r\n\t{\r\n\t\tFL\r\n\t\t{\r\n\t\t\tB : |1|\r\n\t\t}\r\n"
                                             "\t\tC : |2|\r\n\t}\r\n\tD : |3|\r\n}\r\n",
         "G{B=1 C=2} D=3", true},
        {"no whitespace needed", "FL{A:|1|G{B|2|}}", "A=1 G{B=2}", true},
        {"empty value and empty group", "FL{A : ||E{}}", "A= E{}", true},
        {"line breaks inside a value", "FL{A : |one\r\ntwo|}", "A=one\r\ntwo", true},
        {"other characters are skipped", "FL{ ## A ; : |1| ** }", "A=1", true},
        {"a file cut short keeps what was read", "FL\r\n{\r\n\tA : |1|\r\n\tG\r\n\t{\r\n\t\tB : |2|\r\n\t\tC : |3",
         "A=1 G{B=2}", false},
        {"reading ends with the root's closing brace", "FL{A : |1|}B : |2|", "A=1", true},
        {"a second FL at the root is transparent too", "FL{FL{A : |1|}B : |2|}C : |3|", "A=1 B=2", true},
        {"without the root FL every brace is a group", "G{A : |1|}B : |2|", "G{A=1} B=2", true},
        {"a bar in a value ends it early (why the writer refuses one)", "FL{A : |a|b|\r\nC : |3|}", "A=a b=\r\nC : ", false},
    };
    for (const Case& c : cases) {
        CTextTree tree;
        EXPECT_TRUE(tree.Parse(c.text)) << c.name;
        EXPECT_EQ(Dump(tree.GetRoot()), c.tree) << c.name;
        EXPECT_EQ(tree.IsComplete(), c.complete) << c.name;
    }
}

TEST(TextTreeReader, FailsOnBraceWithoutNameAndOnMissingFile) {
    CTextTree tree;
    EXPECT_FALSE(tree.Parse("{ A : |1| }"));
    EXPECT_FALSE(tree.Load("/nonexistent/folder/Default.fll"));
    EXPECT_EQ(tree.GetRoot().GetChildCount(), 0u);
}

TEST(TextTreeReader, LooksUpTheFirstOfTwoSameNamedChildren) {
    CTextTree tree;
    ASSERT_TRUE(tree.Parse("FL{A : |1| A : |2| S{V : |a|} S{V : |b|} N{} N : |7|}"));
    uint32_t a = 0, n = 5;
    std::string v;
    EXPECT_TRUE(tree.ReadNumber("A", a));
    EXPECT_EQ(a, 1u);
    EXPECT_FALSE(tree.ReadNumber("a", a));  // names are case-sensitive
    EXPECT_FALSE(tree.ReadNumber("N", n));  // the first "N" is a group: no value
    EXPECT_EQ(n, 5u);
    ASSERT_TRUE(tree.EnterGroup("S"));
    EXPECT_TRUE(tree.ReadString("V", v));
    EXPECT_EQ(v, "a");
    EXPECT_FALSE(tree.EnterGroup("S"));  // not below the first S
}

TEST(TextTreeWriter, RefusesWhatCannotBeReadBackAndKeepsEverythingElse) {
    CTextTree tree;
    tree.OpenGroup("DNL");
    EXPECT_TRUE(tree.WriteString("URL_original", AddressForTextTree("http://h/a|b.jpg")));
    EXPECT_FALSE(tree.WriteString("LocalFolder", "/home/u/pics|new"));
    EXPECT_FALSE(tree.WriteString("Zero", std::string("a\0b", 3)));
    EXPECT_FALSE(tree.WriteString("bad name", "x"));
    EXPECT_FALSE(tree.WriteNumber("", 1));
    EXPECT_FALSE(tree.OpenGroup("FL"));
    EXPECT_TRUE(tree.WriteNumber("Prior", 5));
    tree.CloseGroup();
    tree.OpenGroup("DNL");
    EXPECT_TRUE(tree.WriteString("URL_original", "http://h/next.jpg"));
    tree.CloseGroup();

    CTextTree back;
    ASSERT_TRUE(back.Parse(tree.Serialize()));
    EXPECT_EQ(Dump(back.GetRoot()), "DNL{URL_original=http://h/a%7Cb.jpg Prior=5} DNL{URL_original=http://h/next.jpg}");
}

TEST(TextTreeValues, AddressesWriteBarsAsPercentCodes) {
    EXPECT_EQ(AddressForTextTree("http://h/a|b|c"), "http://h/a%7Cb%7Cc");
    EXPECT_EQ(AddressForTextTree("http://h/plain.jpg"), "http://h/plain.jpg");
}

class CRecordingProgress : public ITextTreeProgress {
public:
    void Begin(const char* text, uint32_t total) override {
        text_ = text;
        total_ = total;
        ++begins_;
    }
    void Step(uint32_t position) override {
        if (position != steps_) ordered_ = false;
        ++steps_;
    }
    void End() override { ++ends_; }

    std::string text_;
    uint32_t total_ = 0, steps_ = 0;
    int begins_ = 0, ends_ = 0;
    bool ordered_ = true;
};

TEST(TextTreeReader, ReportsProgressForLargeFilesOnly) {
    TempDir dir;
    for (size_t size : {size_t(30720), size_t(30721)}) {
        std::string text = "FL{A : |" + std::string(size - 10, 'v') + "|}";
        ASSERT_EQ(text.size(), size);
        WriteFile(dir / "list.fll", text);
        CRecordingProgress progress;
        CTextTree tree;
        ASSERT_TRUE(tree.Load((dir / "list.fll").string(), &progress));
        bool large = size >= kTextTreeProgressMinBytes;
        EXPECT_EQ(progress.begins_, large ? 1 : 0) << size;
        EXPECT_EQ(progress.ends_, large ? 1 : 0) << size;
        if (large) {
            EXPECT_EQ(progress.text_, "Loading file");
            EXPECT_EQ(progress.total_, size);
            EXPECT_EQ(progress.steps_, size);  // once per character, in order
            EXPECT_TRUE(progress.ordered_);
        }
    }
}

TEST(TextTree, SaveFailsWhenTheFileCannotBeCreated) {
    CTextTree tree;
    EXPECT_FALSE(tree.Save("/nonexistent/folder/Default.fll"));
}

size_t DepthOfSingleChain(const CTextTreeNode*& node) {
    size_t levels = 0;
    while (node->GetChildCount() == 1 && node->GetChild(0)->IsGroup()) {
        node = node->GetChild(0);
        ++levels;
    }
    return levels;
}

TEST(TextTree, SurvivesDeepNesting) {
    // Reading, looking up and deleting 100000 levels; the file form of so deep a tree grows with
    // the square of its depth (one tab per level a line), so the round trip uses fewer levels.
    for (size_t depth : {size_t(100000), size_t(1000)}) {
        std::string text = "FL{";
        for (size_t i = 0; i < depth; ++i) text += "G{";
        text += "A : |1|";
        auto tree = std::make_unique<CTextTree>();
        ASSERT_TRUE(tree->Parse(text));
        if (depth == 1000) {
            std::string saved = tree->Serialize();
            tree = std::make_unique<CTextTree>();
            ASSERT_TRUE(tree->Parse(saved));
        }
        const CTextTreeNode* node = &tree->GetRoot();
        EXPECT_EQ(DepthOfSingleChain(node), depth);
        uint32_t a = 0;
        EXPECT_TRUE(node->ReadNumber("A", a));
        tree.reset();
    }
}

}  // namespace
}  // namespace plover
