#include <gtest/gtest.h>

#include "web/event_hub.h"
#include "web/request_guard.h"

namespace plover::web {
namespace {

TEST(RequestGuard, HostAndOrigin) {
    auto loop = AllowedHosts("127.0.0.1", 8080);
    auto lan = AllowedHosts("192.168.1.5", 8080);
    struct Case {
        const char* host;
        const char* origin;
        bool lanServer;
        bool hostOk, originOk;
    } cases[] = {
        {"127.0.0.1:8080", "", false, true, true},
        {"localhost:8080", "http://localhost:8080", false, true, true},
        {"127.0.0.1:8080", "http://127.0.0.1:8080", false, true, true},
        {"evil.example:8080", "http://evil.example", false, false, false},  // DNS rebinding
        {"127.0.0.1:8081", "http://127.0.0.1:8081", false, false, false},   // another port
        {"127.0.0.1", "https://127.0.0.1:8080", false, false, false},       // no port; other scheme
        {"", "null", false, false, false},
        {"192.168.1.5:8080", "http://192.168.1.5:8080", true, true, true},
        {"127.0.0.1:8080", "http://127.0.0.1:8080", true, false, false},
    };
    for (const Case& c : cases) {
        const auto& allowed = c.lanServer ? lan : loop;
        EXPECT_EQ(HostAllowed(c.host, allowed), c.hostOk) << c.host;
        EXPECT_EQ(OriginAllowed(c.origin, allowed), c.originOk) << c.origin;
    }
}

TEST(RequestGuard, TokenSources) {
    EXPECT_EQ(CookieValue("a=1; plover_token=abc; b=2", "plover_token"), "abc");
    EXPECT_EQ(CookieValue("xplover_token=abc", "plover_token"), "");
    EXPECT_EQ(CookieValue("plover_token", "plover_token"), "");
    EXPECT_EQ(CookieValue("", "plover_token"), "");
    EXPECT_EQ(BearerToken("Bearer xyz"), "xyz");
    EXPECT_EQ(BearerToken("Basic xyz"), "");
    EXPECT_TRUE(TokenEquals("abc", "abc"));
    EXPECT_FALSE(TokenEquals("abc", "abd"));
    EXPECT_FALSE(TokenEquals("abc", "abcd"));
    EXPECT_FALSE(TokenEquals("", ""));  // no token never matches
    std::string cookie = TokenCookie("t");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
}

TEST(RequestGuard, ListenAddress) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        int port;
    } cases[] = {
        {"127.0.0.1:8080", true, "127.0.0.1", 8080}, {"localhost:0", true, "127.0.0.1", 0},
        {"0.0.0.0:65535", true, "0.0.0.0", 65535},   {"10.0.0.1:65536", false, "", 0},
        {"8080", false, "", 0},                      {":8080", false, "", 0},
        {"1.2.3:80", false, "", 0},                  {"1.2.3.400:80", false, "", 0},
        {"1.2.3.4:8x", false, "", 0},                {"example.com:80", false, "", 0},
        {"1.2.3.4:", false, "", 0},
    };
    for (const Case& c : cases) {
        std::string host;
        int port = -1;
        EXPECT_EQ(ParseListenAddress(c.text, host, port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

TEST(EventHub, SlowClientIsResynchronised) {
    CEventHub hub(3);
    uint64_t a = hub.Connect();
    std::deque<std::string> got;
    EXPECT_EQ(hub.Wait(a, got, 0), CEventHub::EWait::Resync);  // a new client starts with a snapshot
    EXPECT_EQ(hub.Wait(a, got, 0), CEventHub::EWait::Timeout);
    hub.Publish("1");
    hub.Publish("2");
    EXPECT_EQ(hub.Wait(a, got, 0), CEventHub::EWait::Events);
    EXPECT_EQ(got, (std::deque<std::string>{"1", "2"}));
    for (int i = 0; i < 4; ++i) hub.Publish("x");  // one more than the queue holds
    EXPECT_EQ(hub.Wait(a, got, 0), CEventHub::EWait::Resync);
    hub.Publish("after");
    got.clear();
    EXPECT_EQ(hub.Wait(a, got, 0), CEventHub::EWait::Events);
    EXPECT_EQ(got, (std::deque<std::string>{"after"}));
    hub.Close();
    EXPECT_EQ(hub.Wait(a, got, 1000), CEventHub::EWait::Closed);
    hub.Disconnect(a);
    EXPECT_EQ(hub.ClientCount(), 0u);
}

}  // namespace
}  // namespace plover::web
