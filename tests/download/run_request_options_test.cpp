// A run's rate and header lines as users type them: what is taken, what is refused, and how the
// lines join or replace those of a built request.
#include "download/run_request_options.h"

#include <gtest/gtest.h>

namespace plover {
namespace {

TEST(RunRequestOptions, Rates) {
    struct { const char* text; std::optional<uint32_t> bytes; } cases[] = {
        {"1000", 1000},         {"200k", 204800},      {"200K", 204800}, {"1M", 1048576},
        {"1.5m", 1572864},      {"0.5k", 512},         {"4000M", 4194304000u}, {"5000M", std::nullopt},
        {"0", std::nullopt},    {"", std::nullopt},    {"k", std::nullopt}, {"10x", std::nullopt},
        {"-5k", std::nullopt},  {"1.2.3", std::nullopt}, {" 5k", std::nullopt},
    };
    for (auto& c : cases) EXPECT_EQ(ParseRate(c.text), c.bytes) << c.text;
}

TEST(RunRequestOptions, HeaderLines) {
    struct { const char* text; std::optional<SHeaderLine> line; } cases[] = {
        {"X-Token: abc", SHeaderLine{"X-Token", "abc"}},
        {"Accept-Language:  de, en \t", SHeaderLine{"Accept-Language", "de, en"}},
        {"X-Empty:", SHeaderLine{"X-Empty", ""}},
        {"no colon", std::nullopt},
        {": value", std::nullopt},
        {"Bad Name: x", std::nullopt},
        {"X-A: 1\r\nX-B: 2", std::nullopt},
        {"X-A: 1\nHost: evil", std::nullopt},
    };
    for (auto& c : cases) EXPECT_EQ(ParseHeaderLine(c.text), c.line) << c.text;
}

TEST(RunRequestOptions, LinesJoinOrReplaceTheRequestsOwn) {
    const std::string request = "GET /a HTTP/1.0\r\nUser-Agent: Old\r\nAccept: */*\r\nHost: h\r\n\r\n";
    struct {
        const char* name;
        std::vector<SHeaderLine> lines;
        std::string want;
    } cases[] = {
        {"none", {}, request},
        {"added before the end", {{"X-Token", "t"}},
         "GET /a HTTP/1.0\r\nUser-Agent: Old\r\nAccept: */*\r\nHost: h\r\nX-Token: t\r\n\r\n"},
        {"replaced in any case", {{"user-agent", "New/1"}},
         "GET /a HTTP/1.0\r\nuser-agent: New/1\r\nAccept: */*\r\nHost: h\r\n\r\n"},
        {"a prefix of a name is another name", {{"Accept-Language", "de"}},
         "GET /a HTTP/1.0\r\nUser-Agent: Old\r\nAccept: */*\r\nHost: h\r\nAccept-Language: de\r\n\r\n"},
    };
    for (auto& c : cases) EXPECT_EQ(WithHeaderLines(request, c.lines), c.want) << c.name;
}

}  // namespace
}  // namespace plover
