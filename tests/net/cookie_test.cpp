// Cookies as tables: HTTP dates, public suffixes, Set-Cookie answers (accepted and refused),
// cookies.txt lines, which cookies go with a request, and the jar's file, order and bounds.
#include <gtest/gtest.h>

#include <fstream>

#include "net/cookie_jar.h"
#include "net/cookie_rules.h"
#include "net/http_date.h"
#include "net/public_suffix.h"
#include "platform/file_io.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

constexpr int64_t kNow = 1780000000;  // 2026-05-28

const CPublicSuffixList& Suffixes() {
    static const CPublicSuffixList list = [] {
        CPublicSuffixList l;
        l.Parse("// comment\ncom\nuk\nco.uk\n*.ck\n!www.ck\ngithub.io  trailing words\n\n");
        return l;
    }();
    return list;
}

TEST(HttpDate, TheThreeFormsAndBrokenDates) {
    struct { const char* text; std::optional<int64_t> seconds; } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"Sun Nov  6 08:49:37 1994", 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Wed, 09 Jun 2021 10:18:14 GMT", 1623233894},
        {"09 Jun 2021 10:18:14", 1623233894},
        {"Fri, 31 Dec 9999 23:59:59 GMT", 253402300799},
        {"Sun, 06 Nov 1994", std::nullopt},            // no time
        {"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1500 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
        {"120", std::nullopt},
        {"", std::nullopt},
    };
    for (auto& c : cases) EXPECT_EQ(ParseHttpDate(c.text), c.seconds) << c.text;
}

TEST(PublicSuffix, RulesWildcardsExceptionsAndTheSystemList) {
    struct { const char* domain; bool suffix; } cases[] = {
        {"com", true}, {"example.com", false}, {"co.uk", true}, {"example.co.uk", false}, {"uk", true},
        {"anything.ck", true}, {"www.ck", false}, {"github.io", true}, {"me.github.io", false},
        {"localhost", true}, {"", true}, {"COM", true},
    };
    for (auto& c : cases) EXPECT_EQ(Suffixes().IsPublicSuffix(c.domain), c.suffix) << c.domain;
    const CPublicSuffixList& system = SystemPublicSuffixes();
    ASSERT_GT(system.RuleCount(), 1000u) << "the publicsuffix package is not installed";
    EXPECT_TRUE(system.IsPublicSuffix("co.uk"));
    EXPECT_TRUE(system.IsPublicSuffix("github.io"));
    EXPECT_FALSE(system.IsPublicSuffix("example.com"));
}

std::string Describe(const std::optional<SCookie>& c) {
    if (!c) return "refused";
    std::string s = c->name + "=" + c->value + " " + (c->hostOnly ? "" : ".") + c->domain + c->path;
    if (c->secure) s += " secure";
    if (c->expires == 1) s += " expired";
    else if (c->expires) s += " +" + std::to_string(c->expires - kNow);
    return s;
}

TEST(Cookies, SetCookieAnswers) {
    SCookieOrigin plain{"www.example.com", "/gallery/page.html", false};
    SCookieOrigin tls{"www.example.com", "/", true};
    SCookieOrigin ip{"127.0.0.1", "/a/b", false};
    struct { const char* header; SCookieOrigin origin; const char* expected; } cases[] = {
        {"id=42", plain, "id=42 www.example.com/gallery"},
        {" id = 42 ; Path=/; HttpOnly", plain, "id=42 www.example.com/"},
        {"id=42; Domain=.example.com", plain, "id=42 .example.com/gallery"},
        {"id=42; domain=EXAMPLE.com; path=/x", plain, "id=42 .example.com/x"},
        {"id=42; Path=relative", plain, "id=42 www.example.com/gallery"},
        {"id=42; Max-Age=60", plain, "id=42 www.example.com/gallery +60"},
        {"id=42; Max-Age=60; Expires=Thu, 01 Jan 1970 00:00:00 GMT", plain, "id=42 www.example.com/gallery +60"},
        {"id=; Max-Age=0", plain, "id= www.example.com/gallery expired"},
        {"id=42; Expires=Thu, 01 Jan 1970 00:00:00 GMT", plain, "id=42 www.example.com/gallery expired"},
        {"id=42; Max-Age=99999999999999999999", plain, "id=42 www.example.com/gallery +34560000"},
        {"id=42; Expires=Fri, 31 Dec 9999 23:59:59 GMT", plain, "id=42 www.example.com/gallery +34560000"},
        {"id=42; Expires=garbage", plain, "id=42 www.example.com/gallery"},
        {"s=1; Secure", tls, "s=1 www.example.com/ secure"},
        {"id=42; Domain=127.0.0.1", ip, "id=42 127.0.0.1/a"},
        // refused
        {"s=1; Secure", plain, "refused"},                    // secure over plain http
        {"id=42; Domain=other.com", plain, "refused"},        // another site
        {"id=42; Domain=com", plain, "refused"},              // a public suffix
        {"id=42; Domain=ample.com", plain, "refused"},        // not a domain of the host
        {"id=42; Domain=0.0.1", ip, "refused"},               // no domain cookies for addresses
        {"noequals", plain, "refused"},
        {"=42", plain, "refused"},
        {"a b=1", plain, "refused"},
        {"id=4\x01" "2", plain, "refused"},
    };
    for (auto& c : cases) EXPECT_EQ(Describe(ParseSetCookie(c.header, c.origin, kNow, Suffixes())), c.expected) << c.header;
    std::string huge = "big=" + std::string(kMaxCookieBytes, 'x');
    EXPECT_EQ(Describe(ParseSetCookie(huge, plain, kNow, Suffixes())), "refused");
    SCookieOrigin suffixHost{"github.io", "/", false};
    EXPECT_EQ(Describe(ParseSetCookie("id=1; Domain=github.io", suffixHost, kNow, Suffixes())), "id=1 github.io/")
        << "a suffix's own host keeps a host-only cookie";
}

TEST(Cookies, CookieFileLines) {
    struct { const char* line; const char* expected; } cases[] = {
        {".example.com\tTRUE\t/\tFALSE\t0\tid\t42", "id=42 .example.com/"},
        {"www.example.com\tFALSE\t/g\tTRUE\t1790000000\tid\t42", "id=42 www.example.com/g secure +10000000"},
        {"#HttpOnly_.example.com\tTRUE\t/\tFALSE\t0\tsid\tabc", "sid=abc .example.com/"},
        {"127.0.0.1\tFALSE\t/\tFALSE\t0\tx\t\r", "x= 127.0.0.1/"},
        {"127.0.0.1\tFALSE\t/\tFALSE\t0\tnovalue", "novalue= 127.0.0.1/"},
        {"# a comment", "refused"},
        {"", "refused"},
        {".com\tTRUE\t/\tFALSE\t0\tid\t1", "refused"},               // a public suffix
        {".127.0.0.1\tTRUE\t/\tFALSE\t0\tid\t1", "refused"},         // a domain cookie for an address
        {"example.com\tMAYBE\t/\tFALSE\t0\tid\t1", "refused"},
        {"example.com\tFALSE\t/\tFALSE\tsoon\tid\t1", "refused"},
        {"example.com\tFALSE\t/\tFALSE\t-5\tid\t1", "refused"},
        {"example.com\tFALSE\tnoslash\tFALSE\t0\tid\t1", "refused"},
        {"example.com\tFALSE\t/\tFALSE\t0", "refused"},
        {"exa mple.com\tFALSE\t/\tFALSE\t0\tid\t1", "refused"},
        {"example.com\tFALSE\t/\tFALSE\t0\tid\tva;lue", "refused"},
    };
    for (auto& c : cases) EXPECT_EQ(Describe(ParseCookieFileLine(c.line, Suffixes())), c.expected) << c.line;
    SCookie c = *ParseCookieFileLine("#HttpOnly_.example.com\tTRUE\t/p\tTRUE\t1790000000\tsid\tabc", Suffixes());
    EXPECT_EQ(ParseCookieFileLine(FormatCookieFileLine(c), Suffixes()), c);
}

TEST(Cookies, WhichCookiesGoWithARequest) {
    auto cookie = [](const char* domain, bool hostOnly, const char* path, bool secure, int64_t expires) {
        SCookie c;
        c.domain = domain;
        c.hostOnly = hostOnly;
        c.path = path;
        c.secure = secure;
        c.expires = expires;
        c.name = "n";
        return c;
    };
    struct { SCookie c; SCookieOrigin to; bool sent; } cases[] = {
        {cookie("example.com", false, "/", false, 0), {"www.example.com", "/x", false}, true},
        {cookie("example.com", false, "/", false, 0), {"example.com", "/", false}, true},
        {cookie("example.com", false, "/", false, 0), {"badexample.com", "/", false}, false},
        {cookie("example.com", true, "/", false, 0), {"www.example.com", "/", false}, false},
        {cookie("example.com", false, "/g", false, 0), {"example.com", "/g/p.jpg", false}, true},
        {cookie("example.com", false, "/g", false, 0), {"example.com", "/g", false}, true},
        {cookie("example.com", false, "/g", false, 0), {"example.com", "/gallery", false}, false},
        {cookie("example.com", false, "/g/", false, 0), {"example.com", "/g/x", false}, true},
        {cookie("example.com", false, "/", true, 0), {"example.com", "/", false}, false},
        {cookie("example.com", false, "/", true, 0), {"example.com", "/", true}, true},
        {cookie("example.com", false, "/", false, kNow - 1), {"example.com", "/", false}, false},
        {cookie("example.com", false, "/", false, kNow + 1), {"example.com", "/", false}, true},
        {cookie("0.0.1", false, "/", false, 0), {"127.0.0.1", "/", false}, false},
    };
    for (auto& c : cases)
        EXPECT_EQ(CookieApplies(c.c, c.to, kNow), c.sent) << c.c.domain << c.c.path << " to " << c.to.host << c.to.path;
}

TEST(CookieJar, LoadSendReplaceDeleteAndSaveBack) {
    test::TempDir dir;
    std::string file = (dir.Path() / "cookies.txt").string();
    test::WriteFile(file,
              "# Netscape HTTP Cookie File\n"
              ".example.com\tTRUE\t/\tFALSE\t0\tsession\ts1\n"
              "www.example.com\tFALSE\t/g\tFALSE\t1790000000\tdeep\td1\n"
              "www.example.com\tFALSE\t/\tFALSE\t1000\told\tgone\n"
              "broken line\n"
              ".com\tTRUE\t/\tFALSE\t0\tall\tsites\n");
    CCookieJar jar(Suffixes());
    CCookieJar::SLoadResult r = jar.Load(file, kNow);
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.loaded, 2u);
    EXPECT_EQ(r.skipped, 2u);
    SCookieOrigin page{"www.example.com", "/g/index.html", false};
    EXPECT_EQ(jar.HeaderFor(page, kNow), "deep=d1; session=s1");  // the longer path first
    EXPECT_EQ(jar.HeaderFor({"other.org", "/", false}, kNow), "");
    EXPECT_TRUE(jar.TakeSetCookie("session=s2; Domain=example.com; Path=/", page, kNow));
    EXPECT_TRUE(jar.TakeSetCookie("deep=x; Max-Age=0; Path=/g", page, kNow));
    EXPECT_FALSE(jar.TakeSetCookie("evil=1; Domain=com", page, kNow));
    EXPECT_EQ(jar.HeaderFor(page, kNow), "session=s2");
    EXPECT_TRUE(jar.TakeSetCookie("kept=k; Max-Age=3600", page, kNow));
    std::string error;
    ASSERT_TRUE(jar.Save(file, kNow, &error)) << error;
    CCookieJar again(Suffixes());
    EXPECT_EQ(again.Load(file, kNow).loaded, 1u) << "session cookies end with the run";
    EXPECT_EQ(again.HeaderFor(page, kNow), "kept=k");
    EXPECT_NE(again.Load((dir.Path() / "missing.txt").string(), kNow).error, 0);
}

TEST(CookieJar, HugeNumbersOfCookiesAndHeadersStayBounded) {
    CCookieJar jar(Suffixes());
    SCookieOrigin page{"example.com", "/", false};
    for (int i = 0; i < 500; ++i)
        jar.TakeSetCookie("c" + std::to_string(i) + "=" + std::string(1000, 'v') + "; Max-Age=60", page, kNow);
    EXPECT_EQ(jar.Size(), kMaxCookiesPerDomain);
    std::string header = jar.HeaderFor(page, kNow);
    EXPECT_LE(header.size(), kMaxCookieHeader);
    EXPECT_EQ(header.substr(0, 5), "c440=") << "the oldest went, the newest 60 stay";
    for (int d = 0; d < 200; ++d)
        for (int i = 0; i < 20; ++i)
            jar.TakeSetCookie("c" + std::to_string(i) + "=v", {"h" + std::to_string(d) + ".example.com", "/", false},
                              kNow);
    EXPECT_EQ(jar.Size(), kMaxCookies);
}

}  // namespace
}  // namespace plover
