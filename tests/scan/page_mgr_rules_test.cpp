// The page manager's decisions as tables: a stored copy under each cache mode, and what a
// download's new status means for the web files waiting for it.
#include "scan/page_mgr_rules.h"

#include <gtest/gtest.h>

#include "scan/web_file.h"

namespace plover {
namespace {

constexpr int64_t kHour = 3600;

TEST(PageMgrRules, StoredCopyUnderEachMode) {
    using A = ECachedAnswer;
    struct SCase {
        int32_t mode;
        bool reload;
        bool ageKnown;
        int64_t age;
        bool hasDate;
        A expected;
    } cases[] = {
        {2, false, true, 1000 * kHour, true, A::UseStored},       // "Never"
        {2, true, true, 0, true, A::DeleteAndFetch},              // reload comes first
        {1, false, true, 23 * kHour, true, A::UseStored},         // fresh
        {1, false, true, 24 * kHour + 3599, false, A::UseStored}, // still 24 whole hours
        {1, false, true, 25 * kHour, true, A::Revalidate},        // old, with a date: conditional
        {1, false, true, 30 * kHour, false, A::FetchKeepRow},     // old, no date: a plain fetch
        {1, false, false, 0, false, A::UseStored},                // age unknown
        {1, false, true, -5 * kHour, false, A::UseStored},        // written in the future
        {0, false, true, 0, true, A::FetchKeepRow},               // "Every visit to the page"
        {7, false, true, 0, true, A::FetchKeepRow},               // an unknown mode fetches too
        {-1, true, true, 0, true, A::DeleteAndFetch},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecideCachedRequest(c.mode, c.reload, c.ageKnown, c.age, c.hasDate), c.expected)
            << "mode " << c.mode << " age " << c.age;
}

TEST(PageMgrRules, DownloadEvents) {
    using K = EFetchOutcome;
    struct SCase {
        DownloadStatus status, super;
        uint32_t downloaded;
        K kind;
        DownloadStatus code;
    } cases[] = {
        {DS_FINISHED, DS_NONE, 10, K::Finished, DS_FINISHED},
        {DS_FINISHED, DS_NONE, 0, K::Failed, DS_FAILED},  // an empty file is no page
        {DS_NOT_MODIFIED, DS_NONE, 0, K::NotModified, DS_NOT_MODIFIED},
        {DS_FILE_NOT_FOUND, DS_NONE, 0, K::Failed, DS_FILE_NOT_FOUND},
        {DS_TIMEOUT, DS_NONE, 0, K::Failed, DS_TIMEOUT},
        {DS_DUPLICATE, DS_NONE, 0, K::Failed, DS_DUPLICATE},
        {DS_WAIT_FOR_USER, DS_UNAUTHORIZED, 0, K::Waiting, DS_WAIT_FOR_USER},
        {DS_WAIT_FOR_USER, DS_CANT_CREATE_FILE, 0, K::Failed, DS_CANT_CREATE_FILE},  // nobody would answer it
        {DS_WAIT_FOR_USER, DS_NONE, 0, K::None, DS_NONE},
        {DS_DELETED, DS_NONE, 0, K::Removed, DS_DELETED},
        {DS_DOWNLOADING, DS_NONE, 5, K::None, DS_NONE},
        {DS_PAUSED, DS_NONE, 0, K::None, DS_NONE},
        {DS_WAITING, DS_REDIRECTING, 0, K::None, DS_NONE},
    };
    for (const auto& c : cases) {
        SFetchOutcome o = ClassifyDownloadEvent(c.status, c.super, c.downloaded);
        EXPECT_EQ(o.kind, c.kind) << StatusText(c.status) << " / " << StatusText(c.super);
        EXPECT_EQ(o.code, c.code) << StatusText(c.status);
    }
}

TEST(PageMgrRules, PriorityAndLoginFreeAddresses) {
    EXPECT_EQ(WebFilePriority("http://h/g/index.html"), 5);
    EXPECT_EQ(WebFilePriority("http://h"), 5);
    EXPECT_EQ(WebFilePriority("http://h/small/p1.jpg"), 6);
    EXPECT_EQ(WithoutLogin("http://user:pw@h:81/a@b.html"), "http://h:81/a@b.html");
    EXPECT_EQ(WithoutLogin("ftp://anon@h/x"), "ftp://h/x");
    EXPECT_EQ(WithoutLogin("http://h/?mail=a@b"), "http://h/?mail=a@b");
    EXPECT_EQ(WithoutLogin("not an address"), "not an address");
}

}  // namespace
}  // namespace plover
