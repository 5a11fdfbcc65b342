// Reading response headers from blocks, and the value readers that guard sizes and names.
#include <gtest/gtest.h>

#include "download/http_response.h"
#include "download/page_test.h"

namespace plover {
namespace {

const std::string kReply =
    "HTTP/1.1 206 Partial Content\r\nServer: nginx\r\nContent-Length: 5\r\n"
    "Content-Range: bytes 10-14/100\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\n\r\nABCDE";

CHttpHeaderReader::EResult FeedAll(CHttpHeaderReader& r, const std::string& s, size_t* body) {
    return r.Feed(reinterpret_cast<const uint8_t*>(s.data()), s.size(), body);
}

// The header may arrive split at any byte: "not yet" until it is whole, then the body starts at the
// right byte of the completing block and no header byte is ever body.
TEST(HttpResponse, HeaderSplitAtEveryPosition) {
    size_t headerEnd = kReply.find("\r\n\r\n") + 4;
    for (size_t cut = 0; cut <= kReply.size(); ++cut) {
        CHttpHeaderReader r;
        size_t body = 99;
        auto first = FeedAll(r, kReply.substr(0, cut), &body);
        std::string bodyBytes;
        if (cut >= headerEnd) {
            ASSERT_EQ(first, CHttpHeaderReader::HEADER_DONE) << cut;
            bodyBytes = kReply.substr(0, cut).substr(body) + kReply.substr(cut);
        } else {
            ASSERT_EQ(first, CHttpHeaderReader::HEADER_INCOMPLETE) << cut;
            std::string rest = kReply.substr(cut);
            ASSERT_EQ(FeedAll(r, rest, &body), CHttpHeaderReader::HEADER_DONE) << cut;
            bodyBytes = rest.substr(body);
        }
        EXPECT_EQ(bodyBytes, "ABCDE") << cut;
        EXPECT_EQ(r.Response().status, 206u);
        EXPECT_EQ(r.Response().Find("content-range").value_or(""), "bytes 10-14/100");
    }
}

TEST(HttpResponse, ByteByByte) {
    CHttpHeaderReader r;
    size_t body = 0;
    for (size_t i = 0; i < kReply.size(); ++i) {
        auto res = r.Feed(reinterpret_cast<const uint8_t*>(&kReply[i]), 1, &body);
        if (res == CHttpHeaderReader::HEADER_DONE) {
            EXPECT_EQ(kReply.substr(i + 1), "ABCDE");
            EXPECT_EQ(body, 1u);
            return;
        }
        ASSERT_EQ(res, CHttpHeaderReader::HEADER_INCOMPLETE);
    }
    FAIL() << "header never completed";
}

struct ParseCase {
    const char* reply;
    CHttpHeaderReader::EResult result;
    uint32_t status;
    const char* body;
};

TEST(HttpResponse, ParseTable) {
    const ParseCase cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\nbody", CHttpHeaderReader::HEADER_DONE, 200, "body"},
        {"http/1.1 404 Not Found\n\nx", CHttpHeaderReader::HEADER_DONE, 404, "x"},  // LF only, any case
        {"HTTP/1.1 301\r\nLocation: /b\r\n\r\n", CHttpHeaderReader::HEADER_DONE, 301, ""},
        {"HTTP/1.0\r\n\r\n", CHttpHeaderReader::HEADER_DONE, 0, ""},          // no code: 0
        {"HTTP/1.1   503 Busy\r\n\r\n", CHttpHeaderReader::HEADER_DONE, 503, ""},
        {"HTTP/1.1 xyz\r\n\r\n", CHttpHeaderReader::HEADER_DONE, 0, ""},
        {"HTTP/1.1 200 OK\r\nA: b", CHttpHeaderReader::HEADER_INCOMPLETE, 0, ""},
        {"<html>hello</html>", CHttpHeaderReader::HEADER_NOT_HTTP, 0, ""},
        {"HTX", CHttpHeaderReader::HEADER_NOT_HTTP, 0, ""},
        {"\r\n\r\nHTTP/1.1 200", CHttpHeaderReader::HEADER_NOT_HTTP, 0, ""},
    };
    for (const ParseCase& c : cases) {
        CHttpHeaderReader r;
        size_t body = 0;
        std::string s = c.reply;
        EXPECT_EQ(FeedAll(r, s, &body), c.result) << c.reply;
        if (c.result != CHttpHeaderReader::HEADER_DONE) continue;
        EXPECT_EQ(r.Response().status, c.status) << c.reply;
        EXPECT_EQ(s.substr(body), c.body) << c.reply;
    }
}

TEST(HttpResponse, ZeroByteInHeaderIsMalformed) {
    // Fed whole and split at every byte: the rest of the header must never become body.
    std::string s("HTTP/1.0 200 OK\r\nX: y\0Content-Length: 4\r\n\r\ntail", 47);
    for (size_t cut = 0; cut <= s.size(); ++cut) {
        CHttpHeaderReader r;
        size_t body = 0;
        auto first = FeedAll(r, s.substr(0, cut), &body);
        auto result = first == CHttpHeaderReader::HEADER_INCOMPLETE ? FeedAll(r, s.substr(cut), &body) : first;
        EXPECT_EQ(result, CHttpHeaderReader::HEADER_MALFORMED) << cut;
    }
    // A zero byte after the header is body like any other.
    CHttpHeaderReader r;
    size_t body = 0;
    std::string ok("HTTP/1.0 200 OK\r\n\r\n\0b", 21);
    ASSERT_EQ(FeedAll(r, ok, &body), CHttpHeaderReader::HEADER_DONE);
    EXPECT_EQ(ok.substr(body), std::string("\0b", 2));
}

TEST(HttpResponse, EndlessHeaderIsRefused) {
    CHttpHeaderReader r;
    size_t body = 0;
    std::string line = "HTTP/1.1 200 OK\r\n";
    std::string filler = "X-Filler: " + std::string(1000, 'a') + "\r\n";
    auto res = FeedAll(r, line, &body);
    for (int i = 0; i < 100 && res == CHttpHeaderReader::HEADER_INCOMPLETE; ++i) res = FeedAll(r, filler, &body);
    EXPECT_EQ(res, CHttpHeaderReader::HEADER_TOO_LONG);
}

TEST(HttpResponse, FindValue) {
    SHttpResponse r;
    r.lines = {"HTTP/1.1 200 OK", "Content-Length-Extra: 9", "content-length :  42  ", "Content-Type:text/html"};
    EXPECT_EQ(r.Find("Content-Length").value_or(""), "42");
    EXPECT_EQ(r.Find("Content-Type").value_or(""), "text/html");
    EXPECT_FALSE(r.Find("Location").has_value());
}

TEST(HttpResponse, ContentLength) {
    EXPECT_EQ(ParseContentLength("0"), 0u);
    EXPECT_EQ(ParseContentLength(" 12345 "), 12345u);
    EXPECT_EQ(ParseContentLength("4294967294"), 4294967294u);
    // A 32-bit size cannot hold these: they must never wrap into a small size.
    for (const char* bad : {"4294967295", "4294967296", "99999999999999999999", "-1", "12a", "", "1 2", "0x10", "+5"})
        EXPECT_FALSE(ParseContentLength(bad).has_value()) << bad;
}

TEST(HttpResponse, ContentRange) {
    auto r = ParseContentRange("bytes 10-14/100");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->first, 10u);
    EXPECT_EQ(r->last, 14u);
    EXPECT_EQ(r->total, 100u);
    auto star = ParseContentRange("Bytes 0-9/*");
    ASSERT_TRUE(star);
    EXPECT_EQ(star->total, 0xFFFFFFFFu);
    for (const char* bad : {"bytes 9-5/100", "bytes 0-99/99", "bytes */100", "bytes 0-9", "items 0-9/10",
                            "bytes 0-4294967295/4294967296", "bytes 0-9/10x"})
        EXPECT_FALSE(ParseContentRange(bad).has_value()) << bad;
}

TEST(HttpResponse, DispositionNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"attachment; filename=\"Photo.JPG\"", "photo.jpg"},
        {"attachment; filename=a.zip; size=10", "a.zip"},
        {"inline", ""},
        {"attachment; filename=\"\"", ""},
        {"attachment; filename=\"../../etc/passwd\"", "passwd"},
        {"attachment; filename=\"..\\\\..\\\\x.exe\"", "x.exe"},
        {"attachment; filename=..", ""},
        {"attachment; filename=\"sub/.\"", ""},
        {"attachment; filename=\"a\x01\x1f" "b.txt\"", "ab.txt"},
        {"attachment; filename= spaced.txt ", "spaced.txt"},
        {"attachment; filename=/", ""},
    };
    for (auto& [value, name] : cases) EXPECT_EQ(ServerFileNameFromDisposition(value), name) << value;
}

TEST(HttpResponse, HtmlType) {
    EXPECT_TRUE(IsHtmlContentType("text/html; charset=utf-8"));
    EXPECT_TRUE(IsHtmlContentType("TEXT/HTML"));
    EXPECT_FALSE(IsHtmlContentType("image/jpeg"));
}

TEST(PageTest, Table) {
    const std::pair<const char*, bool> cases[] = {
        {"http://www.example.com", true},           // two slashes: a bare server
        {"http://www.example.com/", true},          // the text after the last "." holds "/"
        {"http://host/dir/file", true},             // no "."
        {"http://example.com/a.jpg", false},
        {"http://example.com/a.JPG", false},
        {"http://example.com/index.HTML", true},
        {"http://example.com/a.php", true},
        {"http://example.com/run.do", true},
        {"http://example.com/a.jpg?x=1", true},     // the text after the last "." holds "?" and "="
        {"http://example.com/a.longextension", true},
        {"http://example.com/a.1234567", false},    // 7 characters
        {"http://example.com/go?u=http://other.com/page.html", true},
        {"http://example.com/go/http://other.com/b.jpg", false},
        {"http://example.com/go?u=http://b.jpg", true},  // the embedded address is a bare server
        {"http://example.com/go?u=https://b.jpg", true},
        {"https://example.com/a.jpg", false},
        {"", true},
    };
    for (auto& [url, page] : cases) EXPECT_EQ(LooksLikePage(url), page) << url;
}

}  // namespace
}  // namespace plover
