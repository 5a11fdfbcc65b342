#include <gtest/gtest.h>

#include "app/reg_text.h"

namespace plover {
namespace {

SRegValue Number(const char* name, uint32_t n) { return {name, ERegType::DWord, n, {}}; }
SRegValue Text(std::string name, std::string s) { return {std::move(name), ERegType::String, 0, std::move(s)}; }
SRegValue Block(const char* name, std::string b) { return {name, ERegType::Binary, 0, std::move(b)}; }

TEST(RegText, RoundTripKeepsKindsOrderAndAwkwardNames) {
    CRegNode root("");
    HKEY plover = root.CreateChild("Software")->CreateChild("Bramble")->CreateChild("Plover");
    plover->SetValue(Number("bProMode", 4294967295u));
    plover->SetValue(Text("quote\"back\\slash\nline\x01", "say \"hi\" \\ \t\r\n caf\xc3\xa9 \x7f"));
    plover->SetValue(Block("", std::string("\x00\xff\x10\x20\x30", 5)));
    plover->SetValue(Block("empty", ""));
    plover->SetValue(Text("none", ""));
    plover->CreateChild("odd\\name%[x]\n");  // an empty key survives too
    plover->CreateChild("Sites")->CreateChild("ftp.example.com/pub")->SetValue(Number("bLogin", 1));
    root.SetValue(Number("at the root", 7));

    std::string text = FormatRegText(root);
    CRegNode back("");
    std::string error;
    ASSERT_TRUE(ParseRegText(text, back, &error)) << error << "\n" << text;
    EXPECT_TRUE(root.SameTree(back)) << text;
    EXPECT_NE(text.find("\n[Software\\Bramble\\Plover]\n\"bProMode\" = number 4294967295\n"), std::string::npos)
        << text;
    EXPECT_EQ(FormatRegText(back), text);
}

TEST(RegText, ReadsCommentsCrlfHexAndMergesNamesCaseInsensitively) {
    CRegNode root("");
    std::string error;
    ASSERT_TRUE(ParseRegText("; note\r\n# note\r\n\r\n[Soft]\r\n\"Value\" = number 0x10\r\n"
                             "  [soft]  \r\n\"VALUE\" = number 3\n\"b\" = binary 0A 0b\t0c0d\n",
                             root, &error))
        << error;
    ASSERT_EQ(root.Children().size(), 1u);
    HKEY soft = root.Children()[0];
    EXPECT_EQ(soft->Name(), "Soft");
    ASSERT_EQ(soft->Values().size(), 2u);
    EXPECT_EQ(soft->Values()[0], Number("Value", 3));  // the later value wins, the first spelling stays
    EXPECT_EQ(soft->Values()[1].bytes, "\x0a\x0b\x0c\x0d");
}

TEST(RegText, RejectsMalformedLinesWithTheirNumber) {
    std::string deep = "[";
    for (size_t i = 0; i <= kMaxKeyDepth; ++i) deep += (i ? "\\k" : "k");
    deep += "]\n";
    struct SCase {
        const char* what;
        std::string text;
        int line;
    } cases[] = {
        {"value outside a section", "\"x\" = number 1\n", 1},
        {"not a number", "[k]\n\"x\" = number 12a\n", 2},
        {"beyond 32 bits", "[k]\n\"x\" = number 4294967296\n", 2},
        {"negative number", "[k]\n\"x\" = number -1\n", 2},
        {"odd hex digits", "[k]\n\n\"x\" = binary 0a0\n", 3},
        {"unterminated string", "[k]\n\"x\" = string \"abc\n", 2},
        {"text after a string", "[k]\n\"x\" = string \"a\" b\n", 2},
        {"unknown escape", "[k]\n\"x\" = string \"a\\q\"\n", 2},
        {"short \\x escape", "[k]\n\"x\" = string \"\\x4\"\n", 2},
        {"unknown kind", "[k]\n\"x\" = float 1.5\n", 2},
        {"no equals sign", "[k]\n\"x\" number 1\n", 2},
        {"unquoted name", "[k]\nx = number 1\n", 2},
        {"empty key name", "[a\\\\b]\n", 1},
        {"bad percent escape", "[a%4]\n", 1},
        {"unclosed header", "[abc\n", 1},
        {"keys too deep", deep, 1},
    };
    for (const auto& c : cases) {
        CRegNode root("");
        std::string error;
        EXPECT_FALSE(ParseRegText(c.text, root, &error)) << c.what;
        EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ":", 0), 0u) << c.what << ": " << error;
    }
}

// A file cut short at a line's end parses; the end line that every save writes tells it apart.
TEST(RegText, AWholeFileIsToldFromACutOne) {
    CRegNode root("");
    root.CreateChild("Software")->SetValue(Number("a", 1));
    const std::string whole = FormatRegText(root);
    const std::string cut = whole.substr(0, whole.rfind("; end"));
    struct SCase {
        const char* what;
        std::string text;
        bool isWhole;
    } cases[] = {
        {"as written", whole, true},
        {"with CRLF and a blank line after the end", whole.substr(0, whole.size() - 1) + "\r\n\r\n", true},
        {"cut before the end line", cut, false},
        {"cut inside the end line", whole.substr(0, whole.size() - 3), false},
        {"empty", "", false},
        {"blank lines only", "\n \r\n\t\n", false},
        {"written before the end line existed", "; old\n[Software]\n\"a\" = number 1\n", true},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(IsWholeRegText(c.text, &why), c.isWhole) << c.what;
        EXPECT_EQ(why.empty(), c.isWhole) << c.what << ": " << why;
    }
}

}  // namespace
}  // namespace plover
