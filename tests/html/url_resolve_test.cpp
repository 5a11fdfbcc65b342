#include <gtest/gtest.h>

#include "html/url_resolve.h"

namespace plover {
namespace {

TEST(ResolveUrl, ResolvesLinksAgainstThePageAddress) {
    struct Case {
        const char* link;
        const char* base;
        const char* expected;
    } cases[] = {
        // A link with a scheme stands as it is.
        {"http://other/a.jpg", "http://h/g/index.html", "http://other/a.jpg"},
        {"FTP://files/a.zip", "http://h/g/index.html", "FTP://files/a.zip"},
        {"mailto:me@h", "http://h/g/index.html", "mailto:me@h"},
        // Relative to the page's folder, one level up per "../".
        {"big/p1.jpg", "http://h/g/index.html", "http://h/g/big/p1.jpg"},
        {"../c4.htm", "http://h/x/y.html", "http://h/c4.htm"},
        {"../../c4.htm", "http://h/a/b/c/y.html", "http://h/a/c4.htm"},
        {"../../../c4.htm", "http://h/x/y.html", "http://h/c4.htm"},  // never above the root
        {"a.html", "http://h", "http://h/a.html"},
        {"a.html", "http://h/g/", "http://h/g/a.html"},
        {"./a.html", "http://h/g/", "http://h/g/./a.html"},
        {"httpd.html", "http://h/g/x.html", "http://h/g/httpd.html"},  // a name, not a scheme
        {"p2.html", "http://h/view.php?dir=a/b", "http://h/p2.html"},  // the base's query is not its folder
        {"p&amp;q.jpg", "http://h/g/", "http://h/g/p&amp;q.jpg"},
        // From the server's root, keeping the base's scheme and port.
        {"/a/b3.htm", "http://h/x/y.html", "http://h/a/b3.htm"},
        {"/a.htm", "http://h:8080/x/y.html", "http://h:8080/a.htm"},
        {"/a.htm", "ftp://h/pub/x.txt", "ftp://h/a.htm"},
        {"/a.htm", "http://h?q=1", "http://h/a.htm"},
        // Network path, query, fragment, empty.
        {"//cdn/i.jpg", "https://h/x.html", "https://cdn/i.jpg"},
        {"?page=2", "http://h/g/list.php?page=1#top", "http://h/g/list.php?page=2"},
        {"?page=2", "http://h", "http://h/?page=2"},
        {"#top", "http://h/g/a.html#old", "http://h/g/a.html#top"},
        {"", "http://h/g/a.html#old", "http://h/g/a.html"},
        // A base without a server: its own slashes only.
        {"b.html", "pages/a.html", "pages/b.html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveUrl(c.link, c.base), c.expected) << c.link << " on " << c.base;
}

}  // namespace
}  // namespace plover
