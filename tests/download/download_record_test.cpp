// The download record: its address, the status rules, redirects, logins, the HTML page sent in
// place of a file, and the operations run on the owner's thread.
#include "download/download_fixture.h"

namespace plover::test {
namespace {

using Record = DownloadTest;

TEST_F(Record, AddressLoginNameAndPort) {
    auto d = Make("http://user:pw@files.example:8080/dir/a%20b.jpg?x=1#top");
    EXPECT_EQ(d->GetConfig()->Login, (SLogin{1, "user", "pw"}));
    EXPECT_EQ(d->GetRemoteUrl(), "http://user@files.example:8080/dir/a%20b.jpg?x=1") << "the password stays in the login";
    EXPECT_EQ(d->GetOriginalUrl(), "http://user@files.example:8080/dir/a%20b.jpg?x=1#top");
    EXPECT_EQ(d->GetServer(), "files.example");
    EXPECT_EQ(d->GetObject(), "/dir/a%20b.jpg?x=1");
    EXPECT_EQ(d->GetConfig()->Port, 8080);
    EXPECT_EQ(d->GetConfig()->Service, SERVICE_HTTP);
    EXPECT_EQ(d->GetFileName(), "") << "the extension holds \"?\": no name";
    EXPECT_EQ(d->GetID(), 0);
    EXPECT_EQ(owner->Count(NE_DOWNLOAD_ADDED), 1);

    struct Row {
        const char* url;
        const char* name;
        const char* remote;
        const char* object;
    } rows[] = {
        {"http://h/dir/a%20b.jpg", "a b.jpg", "http://h/dir/a%20b.jpg", "/dir/a%20b.jpg"},
        {"ftp://h/pub/a%20b.bin", "a b.bin", "ftp://h/pub/a b.bin", "/pub/a b.bin"},
        {"http://h/x/..%2F..%2Fevil.sh", "evil.sh", "http://h/x/..%2F..%2Fevil.sh", "/x/..%2F..%2Fevil.sh"},
        {"http://h/a|b.jpg", "a_b.jpg", "http://h/a%7Cb.jpg", "/a%7Cb.jpg"},
        {"http://h/a b.jpg", "a b.jpg", "http://h/a%20b.jpg", "/a%20b.jpg"},
        {"ftp://u@h:2121/f.txt", "f.txt", "ftp://u@h:2121/f.txt", "/f.txt"},
    };
    for (const Row& r : rows) {
        auto e = Make(r.url);
        ASSERT_TRUE(e) << r.url;
        EXPECT_EQ(e->GetFileName(), r.name) << r.url;
        EXPECT_EQ(e->GetRemoteUrl(), r.remote) << r.url;
        EXPECT_EQ(e->GetObject(), r.object) << r.url;
    }
}

TEST_F(Record, RefusedConfigurations) {
    std::string error;
    EXPECT_FALSE(CDownload::Create(MakeConfig("gopher://h/a", dir.Str()), owner.Get(), &error));
    EXPECT_NE(error.find("gopher://h/a"), std::string::npos);
    EXPECT_FALSE(CDownload::Create(MakeConfig("ftp://h/a%0D%0ADELE%20x", dir.Str()), owner.Get(), &error));
    EXPECT_FALSE(CDownload::Create(MakeConfig("http://h/a", dir.Str() + "/x|y"), owner.Get(), &error));
    EXPECT_EQ(error, "The target folder cannot contain \"|\": " + dir.Str() + "/x|y");
    SDownloadConfig c = MakeConfig("ftp://h/a", dir.Str());
    c.Flags = DCF_WHOLE_FILE;
    EXPECT_FALSE(CDownload::Create(c, owner.Get(), &error)) << "whole-file needs HTTP";
    EXPECT_FALSE(c.SetFlags(DCF_WHOLE_FILE));
    EXPECT_EQ(owner->Count(NE_DOWNLOAD_ADDED), 0);
}

TEST_F(Record, TransientFailuresConsumeRetries) {
    struct Row {
        uint32_t retry;
        int workers;
        std::vector<int> attemptsAfter;  // after each failure
        int setOn;                       // the failure (1-based) that sets the status; 0 never
    } rows[] = {
        {3, 1, {2, 3, 4}, 3},
        {1, 1, {2}, 1},
        {3, 2, {1, 1, 1}, 0},
        {3, 0, {1}, 1},
    };
    for (const Row& r : rows) {
        GetSettings().TimeoutParams.dwRetry = r.retry;
        auto d = Make("http://127.0.0.1/t" + std::to_string(r.retry) + std::to_string(r.workers) + ".bin");
        if (r.workers > 0) {
            ASSERT_TRUE(d->PlanSection());
            Sized(d.Get(), 1000);
            env.leeches.back()->state = LEECH_RECEIVING;
        }
        if (r.workers > 1) {
            ASSERT_TRUE(d->PlanSection());
        }
        for (size_t i = 0; i < r.attemptsAfter.size(); ++i) {
            d->SetStatus(DS_TIMEOUT);
            EXPECT_EQ(d->GetAttempts(), r.attemptsAfter[i]) << r.retry << "/" << r.workers << " #" << i;
            EXPECT_EQ(d->GetStatus() == DS_TIMEOUT, r.setOn != 0 && int(i) + 1 >= r.setOn)
                << r.retry << "/" << r.workers << " #" << i;
        }
    }
}

TEST_F(Record, DataResetsTheAttemptsAndStatusChangesAreNotified) {
    GetSettings().TimeoutParams.dwRetry = 5;
    auto d = Make("http://127.0.0.1/a.bin");
    ASSERT_TRUE(d->PlanSection());
    Sized(d.Get(), 10);
    d->SetStatus(DS_SERVER_ERROR);
    EXPECT_EQ(d->GetAttempts(), 2);
    ASSERT_TRUE(Write(d.Get(), 0, "ab"));
    EXPECT_EQ(d->GetAttempts(), 1);
    int before = owner->reschedules;
    d->SetStatus(DS_FORBIDDEN);
    d->SetStatus(DS_FORBIDDEN);
    EXPECT_EQ(owner->Statuses().back(), DS_FORBIDDEN);
    EXPECT_EQ(owner->reschedules, before + 1) << "an unchanged status is not a change";
    EXPECT_EQ(d->GetPreviousStatus(), DS_CONNECTING);
    EXPECT_TRUE(d->IsFailed());
}

TEST_F(Record, Redirects) {
    auto d = Make("http://127.0.0.1:8080/dir/a.jpg");
    d->Redirect("/a/b.jpg");
    EXPECT_EQ(d->GetRemoteUrl(), "http://127.0.0.1:8080/a/b.jpg");
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_EQ(d->GetSuperStatus(), DS_REDIRECTING);
    EXPECT_EQ(d->GetSizeState(), SIZE_UNKNOWN);
    EXPECT_EQ(d->GetHostState(), HOST_UNRESOLVED);
    d->Redirect("c.jpg");
    EXPECT_EQ(d->GetRemoteUrl(), "http://127.0.0.1:8080/c.jpg");
    EXPECT_EQ(d->GetOriginalUrl(), "http://127.0.0.1:8080/dir/a.jpg");
    EXPECT_EQ(d->GetFileName(), "a.jpg") << "the name stays";

    d->Redirect("http://127.0.0.1:8080/c.jpg");
    EXPECT_EQ(d->GetStatus(), DS_DUPLICATE) << "its own address";

    auto other = Make("http://127.0.0.1/other.jpg");
    auto e = Make("http://127.0.0.1/e.jpg");
    e->Redirect("HTTP://127.0.0.1/OTHER.jpg");
    EXPECT_EQ(e->GetStatus(), DS_DUPLICATE) << "an address another download fetches";
    EXPECT_EQ(e->GetRemoteUrl(), "http://127.0.0.1/e.jpg");

    auto f = Make("http://127.0.0.1/f.jpg");
    f->Redirect("https://127.0.0.1/f.jpg");
    EXPECT_EQ(f->GetStatus(), DS_WAITING) << "http to https is followed like any redirect";
    EXPECT_EQ(f->GetRemoteUrl(), "https://127.0.0.1/f.jpg");
    EXPECT_EQ(f->GetConfig()->Port, 443);
    f->Redirect("/g.jpg");
    EXPECT_EQ(f->GetRemoteUrl(), "https://127.0.0.1/g.jpg") << "a relative location stays on https";
    auto g = Make("http://127.0.0.1/g2.jpg");
    g->Redirect("gopher://127.0.0.1/g");
    EXPECT_EQ(g->GetStatus(), DS_FAILED) << "no worker follows gopher";
}

TEST_F(Record, RedirectsEndAfterTwentyHopsAndOnlyWhereTheyCanBeFollowed) {
    auto d = Make("http://127.0.0.1/start.jpg");
    for (int hop = 1; hop <= 20; ++hop) {
        d->Redirect("/hop" + std::to_string(hop) + ".jpg");
        ASSERT_EQ(d->GetStatus(), DS_WAITING) << hop;
    }
    d->Redirect("/hop21.jpg");
    EXPECT_EQ(d->GetStatus(), DS_TOO_MANY_REDIRECTS);
    EXPECT_EQ(d->GetRemoteUrl(), "http://127.0.0.1/hop20.jpg") << "the 21st is not followed";
    d->Retry(0);  // a retry starts the count afresh
    owner->RunOps();
    d->Redirect("/again.jpg");
    EXPECT_EQ(d->GetStatus(), DS_WAITING);

    for (const char* location : {"javascript:void(0)", "data:image/png;base64,AAAA", ""}) {
        auto e = Make(std::string("http://127.0.0.1/e") + std::to_string(owner->list.size()) + ".jpg");
        std::string before = e->GetRemoteUrl();
        e->Redirect(location);
        EXPECT_EQ(e->GetStatus(), DS_FAILED) << location;
        EXPECT_EQ(e->GetRemoteUrl(), before) << location;
    }
    auto f = Make("http://127.0.0.1:8080/f.jpg");
    f->Redirect("//127.0.0.2:81/elsewhere.jpg");
    EXPECT_EQ(f->GetRemoteUrl(), "http://127.0.0.2:81/elsewhere.jpg") << "a network path keeps the scheme";
}

TEST_F(Record, Authorization) {
    auto d = Make("http://127.0.0.1/a.bin");
    auto same = Make("http://127.0.0.1/b.bin");
    d->OnUnauthorized();
    EXPECT_EQ(d->GetStatus(), DS_WAIT_FOR_USER);
    EXPECT_EQ(d->GetSuperStatus(), DS_UNAUTHORIZED);
    d->PostOperation(new SDOAuthorize("u", "p"), 0);
    owner->RunOps();
    EXPECT_EQ(d->GetConfig()->Login, (SLogin{1, "u", "p"}));
    EXPECT_EQ(d->GetRemoteUrl(), "http://u@127.0.0.1/a.bin");
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_EQ(d->GetSuperStatus(), DS_NONE);

    same->OnUnauthorized();
    same->CancelAuthorization();
    owner->RunOps();
    EXPECT_EQ(same->GetStatus(), DS_UNAUTHORIZED);
    EXPECT_EQ(same->GetAuthorizationCancelled(), 1);
    same->SetStatus(DS_WAITING);
    same->OnUnauthorized();  // the user said no before: no new question
    owner->RunOps();
    EXPECT_EQ(same->GetStatus(), DS_UNAUTHORIZED);
}

TEST_F(Record, HtmlInPlaceOfTheFile) {
    struct Row {
        const char* name;
        const char* html;
        const char* next;  // empty: "Not available"
    } rows[] = {
        {"meta refresh first",
         "<html><a href=\"x.jpg\">x</a><meta http-equiv=\"refresh\" content=\"0; url=http://127.0.0.1/real.jpg\">",
         "http://127.0.0.1/real.jpg"},
        {"first anchor", "<p><a href=\"/big/p1.jpg\">a</a><a href=\"/big/p2.jpg\">b</a>", "http://127.0.0.1/big/p1.jpg"},
        {"anchor relative to the page", "<a href=\"big/p3.jpg\">x</a>", "http://127.0.0.1/dir/big/p3.jpg"},
        {"nothing to follow", "<html><body>sorry</body></html>", ""},
    };
    int i = 0;
    for (const Row& r : rows) {
        std::string name = "pic" + std::to_string(i++) + ".jpg";
        auto d = Make("http://127.0.0.1/dir/" + name);
        d->ResetSections();
        d->MarkHtmlSubstitute();
        ASSERT_TRUE(Write(d.Get(), 0, r.html)) << r.name;
        d->Complete();
        EXPECT_FALSE(std::filesystem::exists(Path(name))) << r.name;
        EXPECT_FALSE(d->IsSingleStream()) << r.name;
        EXPECT_EQ(d->GetDownloaded(), 0u) << r.name;
        if (*r.next) {
            EXPECT_EQ(d->GetRemoteUrl(), r.next) << r.name;
            EXPECT_EQ(d->GetSuperStatus(), DS_REDIRECTING) << r.name;
        } else {
            EXPECT_EQ(d->GetStatus(), DS_NOT_AVAILABLE) << r.name;
        }
    }
}

TEST_F(Record, PauseResumeRetry) {
    auto d = Make("http://127.0.0.1/a.bin");
    d->Pause();
    owner->RunOps();
    EXPECT_TRUE(d->IsPaused());
    EXPECT_TRUE(d->IsPausedClean());
    EXPECT_EQ(owner->Logs(LOG_PAUSED), std::vector<std::string>{"http://127.0.0.1/a.bin"});
    d->SetHeld(1);
    d->Resume();
    owner->RunOps();
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_EQ(d->IsHeld(), 0);
    EXPECT_EQ(owner->Logs(LOG_RESUMED).size(), 1u);

    d->Redirect("/moved.bin");
    d->SetStatus(DS_FORBIDDEN);
    d->Retry(1);  // transient only: "Forbidden" is not
    owner->RunOps();
    EXPECT_EQ(d->GetStatus(), DS_FORBIDDEN);
    d->Retry(0);
    owner->RunOps();
    EXPECT_EQ(d->GetStatus(), DS_WAITING);
    EXPECT_EQ(d->GetSuperStatus(), DS_NONE);
    EXPECT_EQ(d->GetRemoteUrl(), "http://127.0.0.1/a.bin") << "back to the original address";
    EXPECT_EQ(d->GetAttempts(), 1);
}

TEST_F(Record, DeleteRemovesAnUnfinishedFile) {
    auto d = Make("http://127.0.0.1/a.bin");
    Sized(d.Get(), 10);
    ASSERT_TRUE(Write(d.Get(), 0, "abc"));
    d->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    owner->RunOps();
    EXPECT_FALSE(std::filesystem::exists(Path("a.bin")));
    EXPECT_EQ(owner->Logs(LOG_DELETED).size(), 1u);

    auto done = Make("http://127.0.0.1/b.bin");
    Sized(done.Get(), 2);
    Write(done.Get(), 0, "ok");
    ASSERT_TRUE(done->IsFinished());
    done->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    owner->RunOps();
    EXPECT_TRUE(std::filesystem::exists(Path("b.bin"))) << "a finished file stays";
}

TEST_F(Record, MovingBeforeAnyDataOnlyRenames) {
    auto d = Make("http://127.0.0.1/a.bin");
    std::filesystem::create_directory(Path("sub"));
    d->MoveTo(Path("sub"), true);
    owner->RunOps();
    EXPECT_EQ(d->GetLocalFolder(), Path("sub"));
    EXPECT_EQ(d->GetFileName(), "a.bin");
    EXPECT_EQ(d->GetStatus(), DS_WAITING) << "the status before the move";
    d->MoveTo(Path("x|y"), true);
    EXPECT_TRUE(owner->ops.empty()) << "a folder with \"|\" is refused";
}

TEST_F(Record, FiltersAndFind) {
    auto d = Make("http://files.example/Holiday.JPG");
    DownloadFilterList all{{"All", FILTER_ALL, {}}};
    DownloadFilterList waiting{{"Waiting", FILTER_STATUS, {DS_WAITING}}};
    DownloadFilterList failed{{"Failed", FILTER_STATUS, {DS_FAILED}}};
    DownloadFilterList category{{"Pictures", FILTER_CATEGORY, {3}}};
    EXPECT_TRUE(d->MatchesCategoryFilter(all));
    EXPECT_TRUE(d->MatchesCategoryFilter(waiting));
    EXPECT_FALSE(d->MatchesCategoryFilter(failed));
    EXPECT_FALSE(d->MatchesCategoryFilter(category));
    SFindInfo find;
    find.csText = "holiday";
    EXPECT_TRUE(d->MatchesFind(find));
    find.bFilename = 0;
    EXPECT_FALSE(d->MatchesFind(find));
    find.csText = "FILES";
    EXPECT_TRUE(d->MatchesFind(find));
    find.bNotFinished = 0;
    EXPECT_FALSE(d->MatchesFind(find));
}

TEST_F(Record, InterfacesAndPriority) {
    auto d = Make("http://127.0.0.1/a.bin");
    RefPtr<ITextTreeItem> item = QueryAs<ITextTreeItem>(static_cast<IDownload*>(d.Get()), IID_ITextTreeItem);
    RefPtr<IHostByNameCallback> cb = QueryAs<IHostByNameCallback>(static_cast<IDownload*>(d.Get()), IID_IHostByNameCallback);
    EXPECT_TRUE(item && cb);
    EXPECT_TRUE(SameObject(item.Get(), static_cast<IDownload*>(d.Get())));
    void* out = nullptr;
    EXPECT_EQ(d->QueryInterface(IID_IEngine, &out), E_NOINTERFACE);
    EXPECT_EQ(d->QueryInterface(IID_IDownload, nullptr), E_INVALIDARG);
    d->SetPriority(7);
    d->SetPriority(7);
    EXPECT_EQ(d->GetConfig()->Prior, 7);
    EXPECT_EQ(owner->Count(NE_PRIORITY), 1);
}

}  // namespace
}  // namespace plover::test
