#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "html/html_parser.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

using namespace std::string_view_literals;

// A node as name[attr,attr]'text'(children), siblings separated by spaces.
std::string Dump(const CHTMLNode& node);

std::string DumpChildren(const CHTMLNode& node) {
    std::string out;
    for (const CHTMLNode* child = node.GetFirstChild(); child; child = child->GetNextSibling()) {
        if (!out.empty()) out += ' ';
        out += Dump(*child);
    }
    return out;
}

std::string Dump(const CHTMLNode& node) {
    std::string out(node.GetName());
    std::vector<std::string_view> attributes = node.GetAttributes();
    if (!attributes.empty()) {
        out += '[';
        for (size_t i = 0; i < attributes.size(); ++i) out += (i ? "," : "") + std::string(attributes[i]);
        out += ']';
    }
    if (!node.GetText().empty()) out += "'" + std::string(node.GetText()) + "'";
    if (node.GetFirstChild()) out += "(" + DumpChildren(node) + ")";
    return out;
}

std::string Parse(CHTMLParser& parser, std::string_view page) {
    parser.ParseBuffer(page.data(), page.size());
    return DumpChildren(parser.GetRoot());
}

struct STreeCase {
    const char* name;
    std::string_view page;
    const char* tree;
};

const STreeCase kTreeCases[] = {
    {"image link", "<a href=\"x.html\"><img src=t.jpg></a>", "a[href=\"x.html\"](img[src=t.jpg])"},
    {"names lower-cased, attributes as written", "<A HREF=\"Y.HTM\">", "a[HREF=\"Y.HTM\"]"},
    {"spaces around = split the attribute", "<img src = \"a.jpg\">", "img[src,=,\"a.jpg\"]"},
    {"quoted value keeps spaces and <", "<a title=\"a <b> c\" x>", "a[title=\"a <b> c\",x]"},
    {"single-quoted value keeps spaces, < and double quotes", "<a title='a \"b\" <c> d' x>", "a[title='a \"b\" <c> d',x]"},
    {"single-quoted address", "<a href='pics/p1.jpg'><img src='t.jpg'></a>", "a[href='pics/p1.jpg'](img[src='t.jpg'])"},
    {"double quotes inside single quotes and back", "<a x='\"' y=\"'\" z>", "a[x='\"',y=\"'\",z]"},
    {"an apostrophe in text opens nothing", "<p>it's x='y <b>z</b>", "p'it's x='y '(b'z')"},
    {"a tab does not end a token", "<img\tsrc=a.jpg>", "img\tsrc=a.jpg"},
    {"text: the last run wins", "<p>one<b>two</b>three</p>", "p'three'(b'two')"},
    {"unclosed elements take what follows", "<p>a<br>b<img src=x.jpg>c", "p'a'(br'b'(img[src=x.jpg]))"},
    {"end tag closes everything opened after its element", "<div><p><b>x</div><i>", "div(p(b'x')) i"},
    {"end tag without an open element closes all", "<p><b></div><i>", "p(b) i"},
    {"end tags match ignoring case", "<DIV><p></div><i>", "div(p) i"},
    {"meta and doctype close at once", "<!DOCTYPE html><meta charset=utf-8><p>", "doctype[html] meta[charset=utf-8] p"},
    {"comment", "<!-- a - b -- c --><p>", "comment p"},
    {"markup inside a comment is still read", "<!-- <b> --><p>", "comment(b' -->'(p))"},
    {"comment end needs white space before it", "<!--x--><p>\n<i>", "comment(i)"},
    {"stray < hides markup until the line ends", "<p>a < b <i>x</i>\n<b>y</b>", "p'a  b i>x/i>'(b'y')"},
    {"stray < outside elements", "a < b <p>x</p>", ""},
    {"line break inside a tag joins tokens", "<img\r\nsrc=\"a.jpg\">", "imgsrc=\"a.jpg\""},
    {"references decoded in values and text", "<a href=\"show.php?a=1&amp;b=2\">Tom &amp; Jerry</a>",
     "a[href=\"show.php?a=1&b=2\"]'Tom & Jerry'"},
    {"named, decimal and hexadecimal references", "<p title='&eacute;&#233;&#xE9;&#Xe9'>&lt;&euro;&#8364;&gt;</p>",
     "p[title='\u00e9\u00e9\u00e9\u00e9']'<\u20ac\u20ac>'"},
    {"old names without ; are no references inside an address", "<a href=\"?a=1&copy=2&lt=3&amp\">&copy2026</a>",
     "a[href=\"?a=1&copy=2&lt=3&\"]'\u00a92026'"},
    {"unknown and broken references stay", "<p>&unknown; & &#; &#x; &am;</p>", "p'&unknown; & &#; &#x; &am;'"},
    {"zero byte ends the input", "<p>a\0<b>"sv, "p"},
    {"end tag inside a start tag", "<a x </a> y><b>", "a[x] b"},
};

TEST(HTMLParser, BuildsTheTree) {
    for (const STreeCase& c : kTreeCases) {
        CHTMLParser parser;
        EXPECT_EQ(Parse(parser, c.page), c.tree) << c.name;
    }
}

TEST(HTMLParser, GivesTheSameTreeWhenFedInPieces) {
    for (const STreeCase& c : kTreeCases) {
        if (c.page.find('\0') != std::string_view::npos) continue;  // each call stops at its own zero byte
        std::string page(c.page);
        for (size_t cut = 1; cut < page.size(); ++cut) {
            CHTMLParser whole, pieces;
            whole.ParseBuffer(page.data(), page.size());
            pieces.ParseBuffer(page.data(), cut);
            pieces.ParseBuffer(page.data() + cut, page.size() - cut);
            ASSERT_EQ(DumpChildren(pieces.GetRoot()), DumpChildren(whole.GetRoot())) << c.name << " cut at " << cut;
        }
    }
}

TEST(HTMLParser, NodesKnowLinksImagesAndAttributes) {
    CHTMLParser parser;
    Parse(parser, "<a href=\"x.html\"><img src=t.jpg></a><a HREF=\"Y.HTM\">y</a><img srcset=\"s.jpg 2x\" src=b.jpg>");
    std::vector<CHTMLNode*> anchors, images;
    parser.CollectAnchors(anchors);
    parser.CollectImages(images);
    ASSERT_EQ(anchors.size(), 2u);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_TRUE(anchors[0]->IsAnchor());
    EXPECT_TRUE(anchors[0]->IsImageLink());
    EXPECT_FALSE(anchors[1]->IsImageLink());
    EXPECT_EQ(anchors[0]->GetChild(0), images[0]);
    EXPECT_EQ(anchors[0]->GetChild(1), nullptr);
    EXPECT_EQ(anchors[0]->GetHref(), "x.html");
    EXPECT_EQ(anchors[1]->GetHref(), "Y.HTM");
    EXPECT_EQ(images[0]->GetAttribute("src"), "t.jpg");
    EXPECT_EQ(images[0]->GetParent(), anchors[0]);
    EXPECT_EQ(images[1]->GetAttribute("src"), "s.jpg 2x");  // the first attribute that starts with src
    EXPECT_EQ(anchors[0]->ResolveHref("http://h/g/index.html"), "http://h/g/x.html");
    EXPECT_EQ(anchors[0]->GetHref(), "http://h/g/x.html");
}

TEST(HTMLNode, AttributeValues) {
    struct Case {
        const char* tag;
        const char* name;
        const char* value;
    } cases[] = {
        {"<img src=a.jpg>", "SRC", "a.jpg"},       {"<img src=\"a.jpg\">", "src", "a.jpg"},
        {"<img src='a.jpg'>", "src", "a.jpg"},     {"<img src=\"\">", "src", "\"\""},
        {"<img src='a b.jpg'>", "src", "a b.jpg"}, {"<img src=\"a&amp;b\">", "src", "a&b"},
        {"<img alt='it&apos;s'>", "alt", "it's"}, {"<img src=>", "src", ""},
        {"<img src=\"a\">", "src", "a"},           {"<img src>", "src", ""},
        {"<img alt=x src=a.jpg>", "src", "a.jpg"}, {"<img src=a=b>", "src", "a=b"},
        {"<img xsrc=a>", "src", ""},               {"<img sr=a>", "src", ""},
    };
    for (const auto& c : cases) {
        CHTMLParser parser;
        Parse(parser, c.tag);
        ASSERT_EQ(parser.GetNodeCount(), 1u) << c.tag;
        EXPECT_EQ(parser.GetNode(0)->GetAttribute(c.name), c.value) << c.tag;
    }
}

TEST(HTMLParser, TitleAndRefresh) {
    struct Case {
        const char* page;
        const char* title;
        const char* refresh;
    } cases[] = {
        {"<html><head><title>My page</title></head>", "My page", ""},
        {"<p>no title</p>", "", ""},
        {"<title>Tom &amp; Jerry &#8211; Part&nbsp;2</title>", "Tom & Jerry \u2013 Part\u00a02", ""},
        {"<meta http-equiv=\"Refresh\" content=\"0; URL='next.html'\">", "", "next.html'"},
        {"<META HTTP-EQUIV=REFRESH CONTENT=\"5;url=http://h/Next.html\">", "", "http://h/Next.html"},
        {"<meta http-equiv=\"refresh\" content=\"5\">", "", ""},
        {"<meta http-equiv=\"refresh\" content=\"0;url=a.html\"><meta http-equiv=\"refresh\" content=\"0;url=b.html\">",
         "", "b.html"},
        {"<meta name=\"x\" content=\"url=a.html\">", "", ""},
    };
    for (const auto& c : cases) {
        CHTMLParser parser;
        Parse(parser, c.page);
        parser.FindRefreshURL();
        EXPECT_EQ(parser.GetTitle(), c.title) << c.page;
        EXPECT_EQ(parser.GetRefreshURL(), c.refresh) << c.page;
    }
}

TEST(HTMLParser, PositionsCountEveryCharacter) {
    CHTMLParser parser;
    Parse(parser, "ab<p>\r\n<!-- x --><b>");
    ASSERT_EQ(parser.GetNodeCount(), 3u);
    EXPECT_EQ(parser.GetNode(0)->GetPosition(), 3u);   // the "p"
    EXPECT_EQ(parser.GetNode(1)->GetPosition(), 10u);  // the last "-" of "<!--"
    EXPECT_EQ(parser.GetNode(2)->GetPosition(), 18u);  // the "b"
}

TEST(HTMLParser, ParsesFiles) {
    test::TempDir dir;
    test::WriteFile(dir / "page.html", "<title>T</title>\r\n<a href=x.html>x</a>");
    CHTMLParser parser;
    EXPECT_TRUE(parser.ParseFile((dir / "page.html").string()));
    EXPECT_EQ(parser.GetTitle(), "T");
    EXPECT_EQ(parser.GetNodeCount(), 2u);
    test::WriteFile(dir / "empty.html", "");
    CHTMLParser empty;
    EXPECT_TRUE(empty.ParseFile((dir / "empty.html").string()));
    EXPECT_EQ(empty.GetNodeCount(), 0u);
    CHTMLParser missing;
    EXPECT_FALSE(missing.ParseFile((dir / "missing.html").string()));
    // With a limit: a file above it is not read at all; one of exactly the limit is.
    const std::string page = (dir / "page.html").string();  // 38 bytes
    CHTMLParser small, exact;
    EXPECT_EQ(small.ParseFile(page, 37), CHTMLParser::EFileRead::TooLarge);
    EXPECT_EQ(small.GetNodeCount(), 0u);
    EXPECT_EQ(exact.ParseFile(page, 38), CHTMLParser::EFileRead::Parsed);
    EXPECT_EQ(exact.GetNodeCount(), 2u);
    EXPECT_EQ(missing.ParseFile((dir / "missing.html").string(), 38), CHTMLParser::EFileRead::CannotOpen);
}

// A parser cleared after one page reads the next exactly as a new parser does, whatever the
// first page left behind (many nodes, long texts, an unclosed quote, a comment, made-up names).
TEST(HTMLParser, AClearedParserReadsTheNextPageAsANewOne) {
    std::string big = "<title>Big</title>";
    for (int i = 0; i < 300; ++i) big += "<p><a href=\"p" + std::to_string(i) + ".html\">" + std::string(300, 'x') + "</a>";
    std::string names;
    for (int i = 0; i < 1500; ++i) names += "<made" + std::to_string(i) + ">";
    const std::string firsts[] = {big, "<a href=\"open", "<!-- never closed", names, "<title>T", ""};
    const std::string next = "<html><head><title>Next &amp; last</title></head><body><a href='a.html' id=x>A</a>"
                             "<img src=b.jpg><meta http-equiv=\"refresh\" content=\"0;url=c.html\"></body></html>";
    auto describe = [](CHTMLParser& p) {
        p.FindRefreshURL();
        std::string d = p.GetTitle() + "|" + p.GetRefreshURL() + "|" + std::to_string(p.GetNodeCount());
        for (size_t i = 0; i < p.GetNodeCount(); ++i) {
            CHTMLNode* n = p.GetNode(i);
            d += "|" + std::string(n->GetName()) + ":" + std::string(n->GetText()) + ":" + std::to_string(n->GetPosition()) +
                 ":" + std::to_string(n->GetChildCount());
            for (std::string_view a : n->GetAttributes()) d += "," + std::string(a);
        }
        return d;
    };
    CHTMLParser fresh;
    fresh.ParseBuffer(next.data(), next.size());
    const std::string expected = describe(fresh);
    CHTMLParser reused;
    for (const std::string& first : firsts) {
        reused.ParseBuffer(first.data(), first.size());
        reused.Clear();
        EXPECT_EQ(reused.GetNodeCount(), 0u);
        reused.ParseBuffer(next.data(), next.size());
        EXPECT_EQ(describe(reused), expected) << first.substr(0, 40);
        reused.Clear();
    }
}

TEST(HTMLParser, SurvivesDeepNesting) {
    const size_t depth = 100000;
    std::string page;
    for (size_t i = 0; i < depth; ++i) page += "<div>";
    page += "deep</span><p>";  // the end tag closes all 100000 at once
    auto parser = std::make_unique<CHTMLParser>();
    parser->ParseBuffer(page.data(), page.size());
    ASSERT_EQ(parser->GetNodeCount(), depth + 1);
    EXPECT_EQ(parser->GetNode(depth - 1)->GetText(), "deep");
    EXPECT_EQ(parser->GetNode(depth - 1)->GetParent(), parser->GetNode(depth - 2));
    EXPECT_EQ(parser->GetNode(depth)->GetParent(), &parser->GetRoot());
    parser.reset();  // and the tree goes without recursion
}

}  // namespace
}  // namespace plover
