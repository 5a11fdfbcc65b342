#include "html/html_entities.h"

#include <gtest/gtest.h>

namespace plover::html {
namespace {

TEST(HtmlReferences, DecodeAsBrowsersDo) {
    struct Case {
        const char* input;
        ERefContext context;
        const char* decoded;
    } cases[] = {
        {"no references", ERefContext::Text, "no references"},
        {"Tom &amp; Jerry", ERefContext::Text, "Tom & Jerry"},
        {"&lt;&gt;&quot;&apos;&AMP;", ERefContext::Text, "<>\"'&"},
        {"&eacute;&Eacute;&szlig;&yuml;&nbsp;", ERefContext::Text, "\u00e9\u00c9\u00df\u00ff\u00a0"},
        {"&euro;&hellip;&mdash;&trade;&hearts;&rarr;", ERefContext::Text, "\u20ac\u2026\u2014\u2122\u2665\u2192"},
        {"&Alpha;&alpha;&Rho;&Sigma;&sigmaf;&sigma;&omega;", ERefContext::Text,
         "\u0391\u03b1\u03a1\u03a3\u03c2\u03c3\u03c9"},
        {"&#65;&#x41;&#X41;&#0065;&#65", ERefContext::Text, "AAAAA"},
        {"&#128512;", ERefContext::Text, "\U0001F600"},
        {"&#0;&#xD800;&#x110000;&#99999999999999;", ERefContext::Text, "\ufffd\ufffd\ufffd\ufffd"},
        {"&#150;&#x80;&#x81;", ERefContext::Text, "\u2013\u20ac\u0081"},  // Windows-1252 where it names one
        {"& &# &#; &#x; &#xZ; &;", ERefContext::Text, "& &# &#; &#x; &#xZ; &;"},
        {"&unknown; &Amp; &EURO;", ERefContext::Text, "&unknown; &Amp; &EURO;"},  // names are case-sensitive
        {"&copy2026 &amp &notit;", ERefContext::Text, "\u00a92026 & \u00acit;"},  // old names need no ";"
        {"&hellip &euro", ERefContext::Text, "&hellip &euro"},                     // newer ones do
        {"?a=1&copy=2&lt3&amp;b=4", ERefContext::Attribute, "?a=1&copy=2&lt3&b=4"},
        {"x&amp\"", ERefContext::Attribute, "x&\""},
        {"&copy;=", ERefContext::Attribute, "\u00a9="},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeReferences(c.input, c.context), c.decoded) << c.input;
}

}  // namespace
}  // namespace plover::html
