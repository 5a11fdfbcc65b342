// Responsive and lazy pictures as tables: the srcset parser (descriptors, commas inside
// addresses, broken candidates, the bound), placeholders, an element's candidates in their order,
// and the choice of the widest and of the small picture.
#include <gtest/gtest.h>

#include <map>

#include "scan/picture_sources.h"
#include "scan/srcset.h"

namespace plover {
namespace {

using K = ESrcDescriptor;

std::string Describe(const std::vector<SSrcCandidate>& cs) {
    std::string out;
    for (const SSrcCandidate& c : cs) {
        if (!out.empty()) out += " | ";
        out += c.url;
        if (c.kind == K::Width) out += " " + std::to_string(int(c.value)) + "w";
        if (c.kind == K::Density) out += " " + std::to_string(c.value).substr(0, 4) + "x";
    }
    return out;
}

TEST(Srcset, ParsesCandidatesAndDropsBrokenOnes) {
    struct { const char* text; const char* expected; } cases[] = {
        {"a.jpg 300w, b.jpg 600w", "a.jpg 300w | b.jpg 600w"},
        {"a.jpg, b.jpg 2x", "a.jpg | b.jpg 2.00x"},
        {"  a.jpg 1.5x ,b.jpg   3x  ", "a.jpg 1.50x | b.jpg 3.00x"},
        {"a.jpg,b.jpg", "a.jpg,b.jpg"},  // commas inside an address stay in it
        {"https://cdn/w_100,h_50/a.jpg 100w, https://cdn/w_200,h_100/a.jpg 200w",
         "https://cdn/w_100,h_50/a.jpg 100w | https://cdn/w_200,h_100/a.jpg 200w"},
        {"a.jpg 300w 200h, b.jpg 200h", "a.jpg 300w"},  // a height only comes with a width
        {"a.jpg 300, b.jpg 2y, c.jpg 1x 2x, d.jpg 300w 2x, e.jpg 0w, f.jpg -1x, g.jpg 2x",
         "g.jpg 2.00x"},
        {"a.jpg 100w (ignored, junk), b.jpg 200w", "b.jpg 200w"},  // the comma in parentheses ends nothing
        {"a.jpg 9999999999w, b.jpg 1e400x, c.jpg nanx, d.jpg .5x", "d.jpg 0.50x"},
        {"", ""},
        {" , ,, ", ""},
        {"data:image/gif;base64,R0lGOD 1x, b.jpg 2x", "data:image/gif;base64,R0lGOD 1.00x | b.jpg 2.00x"},
    };
    for (auto& c : cases) EXPECT_EQ(Describe(ParseSrcset(c.text)), c.expected) << c.text;
}

TEST(Srcset, ThousandsOfCandidatesAreBounded) {
    std::string text;
    for (int i = 1; i <= 5000; ++i) text += "p" + std::to_string(i) + ".jpg " + std::to_string(i) + "w, ";
    std::vector<SSrcCandidate> cs = ParseSrcset(text);
    ASSERT_EQ(cs.size(), kMaxSrcsetCandidates);
    EXPECT_EQ(cs.back().url, "p" + std::to_string(kMaxSrcsetCandidates) + ".jpg");
}

TEST(Srcset, Placeholders) {
    struct { const char* url; bool placeholder; } cases[] = {
        {"", true}, {"  ", true}, {"data:image/gif;base64,R0lGODlhAQABAAAAACw=", true}, {"DATA:x", true},
        {"about:blank", true}, {"javascript:void(0)", true}, {"/img/blank.gif", true}, {"Spacer.GIF", true},
        {"http://h/1x1.gif", true}, {"http://h/lazy.gif", true},
        {"http://h/p1.jpg", false}, {"http://h/blank.jpg", false}, {"http://h/anim.gif", false},
    };
    for (auto& c : cases) EXPECT_EQ(IsPlaceholderPicture(c.url), c.placeholder) << c.url;
}

// An element from its attributes; the candidates in order, with their origin.
std::string CandidatesOf(const std::map<std::string, std::string>& attributes) {
    std::vector<SSrcCandidate> out;
    AppendElementCandidates(
        [&](std::string_view name) {
            auto it = attributes.find(std::string(name));
            return it == attributes.end() ? std::string_view() : std::string_view(it->second);
        },
        out);
    std::string text;
    for (const SSrcCandidate& c : out) {
        if (!text.empty()) text += " | ";
        text += (c.origin == ESrcOrigin::Lazy ? "lazy " : c.origin == ESrcOrigin::Src ? "src " : "set ") + c.url;
    }
    return text;
}

TEST(Srcset, AnElementsCandidatesInTheirOrder) {
    struct { std::map<std::string, std::string> attributes; const char* expected; } cases[] = {
        {{{"src", "s.jpg"}}, "src s.jpg"},
        {{{"src", "data:image/gif;base64,AAAA"}, {"data-src", "real.jpg"}}, "lazy real.jpg"},
        {{{"src", "blank.gif"}, {"data-original", "o.jpg"}, {"data-lazy-src", "l.jpg"}}, "lazy o.jpg | lazy l.jpg"},
        {{{"src", "s.jpg"}, {"srcset", "a.jpg 1x, b.jpg 2x"}, {"data-srcset", "c.jpg 3x"}},
         "src s.jpg | set a.jpg | set b.jpg | set c.jpg"},
        {{{"srcset", "data:x 1x, b.jpg 2x"}}, "set b.jpg"},
    };
    for (auto& c : cases) EXPECT_EQ(CandidatesOf(c.attributes), c.expected);
}

SSrcCandidate C(const char* url, K kind, double value, ESrcOrigin origin = ESrcOrigin::Srcset) {
    SSrcCandidate c;
    c.url = url;
    c.kind = kind;
    c.value = value;
    c.origin = origin;
    return c;
}

TEST(Srcset, TheWidestAndTheSmallPicture) {
    const auto src = C("s.jpg", K::None, 1, ESrcOrigin::Src);
    const auto lazy = C("l.jpg", K::None, 1, ESrcOrigin::Lazy);
    struct {
        const char* name;
        std::vector<SSrcCandidate> candidates;
        int widest, small;
    } cases[] = {
        {"widths: the largest w, the smallest for a thumbnail without src",
         {C("a.jpg", K::Width, 300), C("b.jpg", K::Width, 1200), C("c.jpg", K::Width, 600)}, 1, 0},
        {"src and widths: a width wins the large picture, src is the small one",
         {src, C("a.jpg", K::Width, 300), C("b.jpg", K::Width, 900)}, 2, 0},
        {"densities with src as 1x", {src, C("b.jpg", K::Density, 2), C("c.jpg", K::Density, 1.5)}, 1, 0},
        {"lazy first for the small picture; a tie goes to the first", {src, lazy}, 0, 1},
        {"only pictures count", {C("a.gif", K::Width, 2000), C("b.jpg?w=9", K::Width, 3000), C("c.png", K::Width, 10)},
         2, 2},
        {"none at all", {C("a.gif", K::None, 1)}, -1, -1},
        {"empty", {}, -1, -1},
    };
    for (auto& c : cases) {
        EXPECT_EQ(ChooseWidestCandidate(c.candidates), c.widest) << c.name;
        EXPECT_EQ(ChooseSmallCandidate(c.candidates), c.small) << c.name;
    }
}

TEST(Srcset, ExactAttributesDoNotTakeSrcForSrcset) {
    std::vector<std::string_view> attributes = {"srcset=\"a.jpg 2x\"", "SRC='s.jpg'", "data-src=d.jpg", "alt"};
    EXPECT_EQ(ExactAttribute(attributes, "src"), "s.jpg");
    EXPECT_EQ(ExactAttribute(attributes, "srcset"), "a.jpg 2x");
    EXPECT_EQ(ExactAttribute(attributes, "data-src"), "d.jpg");
    EXPECT_EQ(ExactAttribute(attributes, "alt"), "");
    EXPECT_EQ(ExactAttribute(attributes, "data-srcset"), "");
}

}  // namespace
}  // namespace plover
