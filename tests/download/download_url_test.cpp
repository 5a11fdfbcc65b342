#include <gtest/gtest.h>

#include "download/url_name.h"

namespace plover {
namespace {

TEST(DownloadUrl, PercentDecode) {
    struct Row {
        const char* in;
        const char* out;
    } rows[] = {
        {"a%20b", "a b"}, {"%41%42c", "ABc"}, {"%4a%4A", "JJ"}, {"100%", "100%"},
        {"%2", "%2"},     {"%zz1", "%zz1"},   {"%%41", "%A"},   {"", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(PercentDecode(r.in), r.out) << r.in;
}

TEST(DownloadUrl, DerivedFileName) {
    struct Row {
        const char* object;
        const char* name;
    } rows[] = {
        {"/pics/a.jpg", "a.jpg"},
        {"/a", "a"},
        {"/", ""},
        {"/dir/", ""},
        {"/x\\y.png", "y.png"},
        {"/a.php?id=5", ""},                 // unfit characters in the extension: no name
        {"/cgi?file=photo.jpg", "photo.jpg"},  // cut after the nearest unfit character
        {"/get?x=a.jpg", "x=a.jpg"},           // "=" would leave one character: cut after "?"
        {"/?.jpg", ""},                       // nothing usable before the extension
        {"/my%20file.jpg", "my%20file.jpg"},  // decoded afterwards
    };
    for (const Row& r : rows) EXPECT_EQ(DeriveFileName(r.object), r.name) << r.object;
}

TEST(DownloadUrl, SafeFileNamesNeverLeaveTheFolder) {
    struct Row {
        const char* in;
        const char* out;
    } rows[] = {
        {"a.jpg", "a.jpg"},
        {"../../etc/passwd", "passwd"},
        {"..\\..\\boot.ini", "boot.ini"},
        {"..", ""},
        {".", ""},
        {"dir/", ""},
        {"a\r\nb.txt", "ab.txt"},
        {"x\x01\x7fy", "xy"},
        {"a|b.jpg", "a_b.jpg"},
        {"...", "..."},
    };
    for (const Row& r : rows) EXPECT_EQ(MakeSafeFileName(r.in), r.out) << r.in;
    EXPECT_EQ(MakeSafeFileName(PercentDecode("..%2F..%2Fetc%2Fshadow")), "shadow");
}

TEST(DownloadUrl, NamesLongerThanAFileSystemTakesKeepTheirExtension) {
    const std::string e2 = "\xC3\xA9";  // one two-byte UTF-8 character
    struct Row {
        std::string in;
        size_t max;
        std::string out;
    } rows[] = {
        {"short.jpg", 255, "short.jpg"},
        {std::string(300, 'a') + ".jpg", 255, std::string(251, 'a') + ".jpg"},
        {std::string(20, 'a'), 10, std::string(10, 'a')},                // no extension: cut
        {"a." + std::string(20, 'x'), 10, "a." + std::string(8, 'x')},  // an extension that cannot fit
        {"ab" + e2 + e2 + ".png", 9, "ab" + e2 + ".png"},                // never half a character
    };
    for (const Row& r : rows) EXPECT_EQ(FitFileName(r.in, r.max), r.out) << r.in;
    std::string served = MakeSafeFileName(std::string(400, 'n') + ".tar.gz");
    EXPECT_EQ(served.size(), kMaxFileNameBytes);
    EXPECT_EQ(served.substr(served.size() - 3), ".gz");
}

TEST(DownloadUrl, RebuiltAddress) {
    SLogin none, user{1, "u", ""}, full{1, "u", "p"}, off{0, "u", "p"};
    EXPECT_EQ(BuildRemoteUrl(SERVICE_HTTP, none, "h", 80, "/a"), "http://h/a");
    EXPECT_EQ(BuildRemoteUrl(SERVICE_HTTP, user, "h", 80, "/a"), "http://u@h/a");
    EXPECT_EQ(BuildRemoteUrl(SERVICE_FTP, full, "h", 21, "/a"), "ftp://u@h/a") << "never the password";
    EXPECT_EQ(BuildRemoteUrl(SERVICE_HTTP, off, "h", 80, "/a"), "http://h/a");
    EXPECT_EQ(BuildRemoteUrl(SERVICE_HTTP, none, "h", 8080, "/a"), "http://h:8080/a");
    EXPECT_EQ(BuildRemoteUrl(SERVICE_HTTPS, none, "h", 443, "/a"), "https://h/a");
    EXPECT_EQ(BuildRemoteUrl(SERVICE_HTTPS, none, "h", 80, "/a"), "https://h:80/a");
}

TEST(DownloadUrl, AddressWithoutPassword) {
    struct Row {
        const char* in;
        const char* out;
    } rows[] = {
        {"http://u:pw@h/a", "http://u@h/a"},
        {"ftp://u:p@ss:w@h:21/a@b", "ftp://u@h:21/a@b"},  // the login ends at the last "@" before the path
        {"http://u@h/a", "http://u@h/a"},
        {"http://h:8080/a:b@c", "http://h:8080/a:b@c"},  // "@" and ":" of the path are no login
        {"http://:pw@h?x=1", "http://@h?x=1"},
        {"h/a", "h/a"},
    };
    for (const Row& r : rows) EXPECT_EQ(AddressWithoutPassword(r.in), r.out) << r.in;
}

TEST(DownloadUrl, RedirectTargets) {
    struct Row {
        int32_t service;
        const char* location;
        const char* out;
    } rows[] = {
        {SERVICE_HTTP, "/a/b.jpg", "http://S/a/b.jpg"},
        {SERVICE_HTTP, "b.jpg", "http://S/b.jpg"},
        {SERVICE_HTTP, "\\c.jpg", "http://S\\c.jpg"},
        {SERVICE_HTTP, "http://other/x", "http://other/x"},
        {SERVICE_HTTP, "HTTP://other/x", "HTTP://other/x"},
        {SERVICE_FTP, "/pub/f", "ftp://S/pub/f"},
        {SERVICE_HTTP, "ftp://o/f", "ftp://o/f"},
        {SERVICE_HTTP, "https://o/f", "https://o/f"},
        // A network-path location names another server under the current scheme.
        {SERVICE_HTTP, "//other:81/x.jpg", "http://other:81/x.jpg"},
        {SERVICE_FTP, "//other/pub/f", "ftp://other/pub/f"},
        // Nothing but http, https and ftp is followed; no location, nothing to follow.
        {SERVICE_HTTP, "javascript:alert(1)", ""},
        {SERVICE_HTTP, "data:text/html,<b>x</b>", ""},
        {SERVICE_HTTP, "mailto:a@b.c", ""},
        {SERVICE_HTTP, "file:///etc/passwd", ""},
        {SERVICE_HTTP, "", ""},
        {SERVICE_HTTP, "dir/a:b.jpg", "http://S/dir/a:b.jpg"},  // a colon after a slash is part of a path
        {SERVICE_HTTPS, "/a/b.jpg", "https://S/a/b.jpg"},  // a relative location keeps TLS
        {SERVICE_HTTPS, "http://o/f", "http://o/f"},
        {SERVICE_HTTPS, "//other/x.jpg", "https://other/x.jpg"},
    };
    for (const Row& r : rows) EXPECT_EQ(RedirectTarget(r.service, "S", r.location), r.out) << r.location;
}

TEST(DownloadUrl, StorableAddresses) {
    EXPECT_EQ(StorableAddress("http://h/a|b|c"), "http://h/a%7Cb%7Cc");
    EXPECT_EQ(StorableAddress("http://h/a"), "http://h/a");
    EXPECT_EQ(StorableAddress(std::string("http://h/a\0b\r\n", 14)), "http://h/a%00b%0D%0A");
}

}  // namespace
}  // namespace plover
