// The site's page as the format window's frame shows it: links and forms lead back through
// Plover, the page's own pictures still come from its site, refreshes are disarmed; and the
// address a request of the frame leads to.
#include <gtest/gtest.h>

#include "web/frame_page.h"

namespace plover::web {
namespace {

constexpr const char* kPage = "http://site.example/dir/index.html";
constexpr const char* kRelay = "http://127.0.0.1:9/api/format/frame";

TEST(FramePage, LinksFormsAndRefreshesLeadBackThroughPlover) {
    struct Case {
        const char* name;
        std::string html, expected;
    } cases[] = {
        {"link, resolved against the page and sent through the route",
         "<head></head><a href=\"../p.html?a=1&amp;b=2\" target=_top>p</a>",
         "<head><base href=\"http://site.example/dir/index.html\"></head><a href=\"" + std::string(kRelay) +
             "?plover-key=K&amp;plover-url=http%3A%2F%2Fsite.example%2Fp.html%3Fa%3D1%26b%3D2\">p</a>"},
        {"a link that is no web address leads nowhere",
         "<head></head><a href='javascript:go()'>x</a><a href=\"mailto:me@x\">m</a>",
         "<head><base href=\"http://site.example/dir/index.html\"></head><a href=\"#\">x</a><a href=\"#\">m</a>"},
        {"form: the route as its action, a GET, the meant address hidden",
         "<head></head><form action=\"/find?x=1\" method=POST><input name=q></form>",
         "<head><base href=\"http://site.example/dir/index.html\"></head><form action=\"" + std::string(kRelay) +
             "\" method=\"get\"><input type=\"hidden\" name=\"plover-key\" value=\"K\"><input type=\"hidden\" "
             "name=\"plover-url\" value=\"http://site.example/find?x=1\"><input type=\"hidden\" "
             "name=\"plover-form\" value=\"1\"><input name=q></form>"},
        {"a form without an action goes to the page itself",
         "<head></head><form><input name=q></form>",
         "<head><base href=\"http://site.example/dir/index.html\"></head><form action=\"" + std::string(kRelay) +
             "\" method=\"get\"><input type=\"hidden\" name=\"plover-key\" value=\"K\"><input type=\"hidden\" "
             "name=\"plover-url\" value=\"http://site.example/dir/index.html\"><input type=\"hidden\" "
             "name=\"plover-form\" value=\"1\"><input name=q></form>"},
        {"refresh disarmed", "<head><meta http-equiv=\"refresh\" content=\"0;url=/api/exit\"></head>",
         "<head><base href=\"http://site.example/dir/index.html\"><meta></head>"},
        {"markup inside scripts and comments stays as written",
         "<head><script>var s = '<a href=x>';</script></head><!-- <form action=y> -->",
         "<head><base href=\"http://site.example/dir/index.html\"><script>var s = '<a href=x>';</script></head>"
         "<!-- <form action=y> -->"},
        {"a page without a head gets the base first", "<p>plain</p>",
         "<base href=\"http://site.example/dir/index.html\"><p>plain</p>"},
        {"a tag never closed is left out", "<head></head><p>a<a href=\"x",
         "<head><base href=\"http://site.example/dir/index.html\"></head><p>a"},
    };
    for (const Case& c : cases) EXPECT_EQ(RewriteFramePage(c.html, kPage, kRelay, "K"), c.expected) << c.name;
}

TEST(FramePage, TheRouteLeadsToTheMeantAddress) {
    struct Case {
        const char* query;
        const char* expected;
    } cases[] = {
        {"plover-key=K&plover-url=http%3A%2F%2Fh%2Fp.html%3Fa%3D1", "http://h/p.html?a=1"},
        // A GET form's fields replace the query of its action, in the order the browser sent them.
        {"plover-key=K&plover-url=http%3A%2F%2Fh%2Ffind%3Fx%3D1&plover-form=1&q=Flitter&lang=en",
         "http://h/find?q=Flitter&lang=en"},
        {"plover-key=K&plover-url=http://h/find&plover-form=1&q=red+car", "http://h/find?q=red+car"},
        {"plover-key=K&plover-url=file%3A%2F%2F%2Fetc%2Fpasswd", ""},
        {"plover-key=K", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FrameTarget(c.query), c.expected) << c.query;
}

}  // namespace
}  // namespace plover::web
