// The proxy the environment names for an address, the proxy addresses users type, and the
// no_proxy list, as tables.
#include "net/proxy_env.h"

#include <gtest/gtest.h>

#include <map>

namespace plover {
namespace {

TEST(ProxyEnv, Addresses) {
    struct { const char* text; std::optional<SProxyAddress> want; } cases[] = {
        {"http://proxy.lan:3128/", SProxyAddress{"proxy.lan", 3128}},
        {"http://user:pw@10.0.0.1:8080", SProxyAddress{"10.0.0.1", 8080}},
        {"HTTP://p", SProxyAddress{"p", 80}},
        {"127.0.0.1:8888", SProxyAddress{"127.0.0.1", 8888}},
        {"socks5://p:1080", std::nullopt},
        {"http://:3128", std::nullopt},
        {"http://p:0", std::nullopt},
        {"http://p:70000", std::nullopt},
        {"http://p:80x", std::nullopt},
        {"", std::nullopt},
    };
    for (auto& c : cases) EXPECT_EQ(ParseProxyAddress(c.text), c.want) << c.text;
}

TEST(ProxyEnv, NoProxyList) {
    struct { const char* host; const char* list; bool match; } cases[] = {
        {"www.example.com", "example.com", true},   {"www.example.com", ".example.com", true},
        {"example.com", ".example.com", true},      {"badexample.com", "example.com", false},
        {"WWW.Example.COM", "example.com", true},   {"a.lan", "localhost, .lan", true},
        {"a.lan", "localhost,127.0.0.1", false},    {"127.0.0.1", "localhost,127.0.0.1:8080", true},
        {"any.host", "*", true},                    {"any.host", "", false},
        {"", "*", false},
    };
    for (auto& c : cases) EXPECT_EQ(MatchesNoProxy(c.host, c.list), c.match) << c.host << " / " << c.list;
}

TEST(ProxyEnv, ProxyForAnAddress) {
    std::map<std::string, std::string> vars = {{"http_proxy", "http://p:3128"}, {"HTTP_PROXY", "http://wrong:1"},
                                               {"HTTPS_PROXY", "http://s:3129"}, {"no_proxy", "intra.lan"}};
    SEnvProxies env = ReadEnvProxies([&](const char* name) {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(env.http, "http://p:3128");
    struct { const char* url; std::optional<SProxyAddress> want; } cases[] = {
        {"http://example.com/a.jpg", SProxyAddress{"p", 3128}},
        {"https://example.com/a.jpg", SProxyAddress{"s", 3129}},
        {"ftp://example.com/a.zip", std::nullopt},
        {"http://www.intra.lan/a", std::nullopt},
        {"http://user@intra.lan:81/a", std::nullopt},
    };
    for (auto& c : cases) EXPECT_EQ(EnvProxyFor(env, c.url), c.want) << c.url;
    EXPECT_TRUE(ReadEnvProxies([](const char* name) {
                    return std::string(name) == "HTTP_PROXY" ? "http://only-upper:1" : nullptr;
                }).http.empty());
}

}  // namespace
}  // namespace plover
