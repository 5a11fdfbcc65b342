// One HTTP worker driven by hand against a recording download, socket and downloader.
#include <gtest/gtest.h>

#include "download/http_leech.h"
#include "download/http_fakes.h"
#include "download/request_identity.h"

namespace plover {
namespace {

using test::http::FakeDownload;
using test::http::FakeDownloader;
using test::http::FakeSocketEngine;

const std::string kUA = std::string("User-Agent: ") + kBrowserUserAgent + "\r\nAccept: */*\r\n";

class HttpLeechTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (leech) leech->Stop();
    }
    SLeechEnv Env() {
        SLeechEnv env;
        env.downloader = RefPtr<IDownloader>(downloader.Get());
        env.sockets = RefPtr<ISocketEngine>(engine.Get());
        env.httpProxyInUse = [this] { return proxy; };
        return env;
    }
    // A worker for start..end, connected, with its request sent.
    void Start(uint32_t start, uint32_t end) {
        leech = RefPtr<CHTTPLeech>::Adopt(new CHTTPLeech(download.Get(), start, end, Env()));
        ASSERT_TRUE(leech->Connect());
        leech->OnConnect(engine->last.Get(), true);
        leech->OnReady(engine->last.Get());
    }
    void Receive(const std::string& bytes) {
        leech->OnReceive(engine->last.Get(), reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
    }
    std::string Sent() { return engine->last->sent; }
    bool Stopped() { return leech->IsStopped() != 0; }

    RefPtr<FakeDownload> download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    RefPtr<FakeDownloader> downloader = RefPtr<FakeDownloader>::Adopt(new FakeDownloader);
    RefPtr<FakeSocketEngine> engine = RefPtr<FakeSocketEngine>::Adopt(new FakeSocketEngine);
    RefPtr<CHTTPLeech> leech;
    bool proxy = false;
};

TEST_F(HttpLeechTest, RangedRequestWithBareReferrer) {
    download->config.csPrevServer = "www.example.com/gallery.html";
    Start(100, 199);
    EXPECT_EQ(Sent(), "GET /pics/a.jpg HTTP/1.0\r\n" + kUA +
                          "Referer: http://www.example.com/gallery.html\r\nHost: www.example.com\r\n"
                          "Range: bytes=100-199\r\n\r\n");
    EXPECT_EQ(leech->GetState(), LEECH_REQUEST_SENT);
    EXPECT_EQ(downloader->uses, 1);
    ASSERT_GE(downloader->logs.size(), 3u);
    EXPECT_EQ(downloader->logs[0].kind, LOG_CONNECTING);
    EXPECT_EQ(downloader->logs[0].text, "127.0.0.1:8080");
    EXPECT_EQ(downloader->logs.back().kind, LOG_REQUEST);
    leech->OnReady(engine->last.Get());  // once per worker
    EXPECT_EQ(Sent().find("GET", 1), std::string::npos);
}

TEST_F(HttpLeechTest, RequestKinds) {
    Start(0, 0);  // the probe
    EXPECT_EQ(Sent(), "GET /pics/a.jpg HTTP/1.0\r\n" + kUA + "Host: www.example.com\r\n\r\n");
    leech->Stop();

    download->singleStream = true;  // single stream of a known size: the whole file as a range
    download->size = 1000;
    Start(0, 0);
    EXPECT_NE(Sent().find("\r\nRange: bytes=0-999\r\n\r\n"), std::string::npos);
    leech->Stop();

    download->config.Flags = DCF_WHOLE_FILE;  // never a range
    Start(0, 0);
    EXPECT_EQ(Sent().find("Range"), std::string::npos);
    leech->Stop();

    download->config.Flags = 0;
    proxy = true;
    download->config.Port = 8000;
    Start(5, 9);
    EXPECT_EQ(Sent().rfind("GET http://www.example.com:8000/pics/a.jpg HTTP/1.0\r\n", 0), 0u);
}

struct StatusCase {
    const char* reply;
    int workers;
    DownloadStatus status;  // DS_NONE: no status set
    const char* redirect;
    int unauthorized;
    int sectionLimit;
};

TEST_F(HttpLeechTest, StatusTable) {
    const StatusCase cases[] = {
        {"HTTP/1.0 300 Multiple\r\nLocation: http://b/x.jpg\r\n\r\n", 1, DS_NONE, "http://b/x.jpg", 0, -1},
        {"HTTP/1.1 301 Moved\r\nLocation: /new.jpg\r\n\r\n<html>moved</html>", 1, DS_NONE, "/new.jpg", 0, -1},
        {"HTTP/1.1 302 Found\r\nlocation: new.jpg\r\n\r\n", 1, DS_NONE, "new.jpg", 0, -1},
        {"HTTP/1.1 307 Temporary\r\nLocation: /t.jpg\r\n\r\n", 1, DS_NONE, "/t.jpg", 0, -1},
        {"HTTP/1.1 302 Found\r\n\r\n", 1, DS_NONE, "", 0, -1},
        {"HTTP/1.1 304 Not Modified\r\n\r\n", 1, DS_NOT_MODIFIED, "", 0, -1},
        {"HTTP/1.1 401 Unauthorized\r\n\r\nlogin!", 1, DS_NONE, "", 1, -1},
        {"HTTP/1.1 403 Forbidden\r\n\r\nno", 1, DS_FORBIDDEN, "", 0, -1},
        {"HTTP/1.1 404 Not Found\r\n\r\n<html>404</html>", 1, DS_FILE_NOT_FOUND, "", 0, -1},
        {"HTTP/1.1 500 Oops\r\n\r\n", 1, DS_SERVER_ERROR, "", 0, -1},
        {"HTTP/1.1 501 No\r\n\r\n", 1, DS_SERVER_ERROR, "", 0, -1},
        {"HTTP/1.1 502 Bad Gateway\r\n\r\n", 1, DS_SERVER_ERROR, "", 0, -1},
        {"HTTP/1.1 503 Busy\r\n\r\n", 1, DS_SERVER_ERROR, "", 0, -1},
        {"HTTP/1.1 503 Busy\r\n\r\n", 3, DS_NONE, "", 0, 2},  // one worker fewer, the others go on
        {"HTTP/1.1 418 Teapot\r\n\r\n", 1, DS_FAILED, "", 0, -1},
        {"HTTP/1.0\r\n\r\n", 1, DS_FAILED, "", 0, -1},
        {"<html>not a response</html>", 1, DS_FAILED, "", 0, -1},
    };
    for (const StatusCase& c : cases) {
        download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
        download->leechCount = c.workers;
        Start(100, 199);
        Receive(c.reply);
        EXPECT_TRUE(Stopped()) << c.reply;
        if (c.status == DS_NONE)
            EXPECT_TRUE(download->statuses.empty()) << c.reply;
        else
            EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{c.status}) << c.reply;
        EXPECT_EQ(download->redirect, c.redirect) << c.reply;
        EXPECT_EQ(download->unauthorized, c.unauthorized) << c.reply;
        EXPECT_EQ(download->sectionLimit, c.sectionLimit) << c.reply;
        EXPECT_TRUE(download->writes.empty()) << "an error body was written: " << c.reply;
        leech->Stop();
    }
}

TEST_F(HttpLeechTest, ABusyServerIsWaitedForAsLongAsItAsks) {
    struct Row {
        const char* reply;
        int workers;
        std::vector<uint32_t> waits;
        std::vector<DownloadStatus> statuses;
        int sectionLimit;
    } rows[] = {
        {"HTTP/1.1 429 Too Many Requests\r\nRetry-After: 3\r\n\r\n", 1, {3000}, {}, -1},
        {"HTTP/1.1 503 Busy\r\nRetry-After: 315360000\r\n\r\n", 3, {300000}, {}, 2},  // the setting's cap
        {"HTTP/1.1 429 Too Many Requests\r\nRetry-After: Thu, 01 Jan 1970 00:00:00 GMT\r\n\r\n", 1, {0}, {}, -1},
        // Without a usable Retry-After: a failed attempt, or one worker fewer.
        {"HTTP/1.1 429 Too Many Requests\r\n\r\n", 1, {}, {DS_SERVER_ERROR}, -1},
        {"HTTP/1.1 429 Too Many Requests\r\nRetry-After: soon\r\n\r\n", 1, {}, {DS_SERVER_ERROR}, -1},
        {"HTTP/1.1 429 Too Many Requests\r\n\r\n", 2, {}, {}, 1},
    };
    for (const Row& r : rows) {
        download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
        download->leechCount = r.workers;
        Start(100, 199);
        Receive(r.reply);
        EXPECT_TRUE(Stopped()) << r.reply;
        EXPECT_EQ(download->waits, r.waits) << r.reply;
        EXPECT_EQ(download->statuses, r.statuses) << r.reply;
        EXPECT_EQ(download->sectionLimit, r.sectionLimit) << r.reply;
        leech->Stop();
    }
}

TEST_F(HttpLeechTest, ProbeLearnsSizeAndWritesNothing) {
    Start(0, 0);
    Receive("HTTP/1.1 200 OK\r\nContent-Length: 123456\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\n"
            "Content-Disposition: attachment; filename=\"../Up.JPG\"\r\n\r\nJPEGDATA");
    EXPECT_EQ(download->sizes, std::vector<uint32_t>{123456});
    EXPECT_TRUE(download->writes.empty());
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(download->resets, 0);
    EXPECT_EQ(download->serverName, "up.jpg");
    EXPECT_EQ(download->lastModified, "Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(leech->IsPreparing(), 0);
}

TEST_F(HttpLeechTest, ProbeWritesAFileThatOneWorkerFetchesWhole) {
    download->oneSection = true;
    Start(0, 0);
    Receive("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab");
    EXPECT_EQ(download->sizes, std::vector<uint32_t>{5});
    EXPECT_FALSE(Stopped());
    EXPECT_TRUE(leech->HasEnd()) << "the planner counts its section as taken";
    EXPECT_EQ(leech->GetEnd(), 4u);
    Receive("cdeXYZ");  // past the end: not the file's
    EXPECT_EQ(download->file, "abcde");
    EXPECT_TRUE(Stopped());
    leech->Stop();

    download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    download->oneSection = true;
    Start(0, 0);
    Receive("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nQ");
    EXPECT_EQ(download->file, "Q");
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, ProbeWritesTheFirstSectionOfALargerFileAndStopsAtItsEnd) {
    download->firstSection = 4;
    Start(0, 0);
    Receive("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab");
    EXPECT_EQ(download->sizes, std::vector<uint32_t>{10});
    EXPECT_FALSE(Stopped());
    EXPECT_TRUE(leech->HasEnd()) << "the planner places the other sections behind it";
    EXPECT_EQ(leech->GetEnd(), 3u);
    Receive("cdefgh");  // the next sections are other workers'
    EXPECT_EQ(download->file, "abcd");
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, FirstByteOfAOneByteFileIsASectionNotAProbe) {
    download->size = 1;
    Start(0, 0);
    EXPECT_TRUE(leech->HasEnd());
    EXPECT_NE(Sent().find("\r\nRange: bytes=0-0\r\n\r\n"), std::string::npos) << Sent();
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-0/1\r\n\r\nZ");
    EXPECT_EQ(download->file, "Z");
    EXPECT_TRUE(download->sizes.empty()) << "the size was known";
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, ProbeHeaderSplitOverBlocks) {
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 777\r\n\r\nBODY";
    for (size_t cut = 1; cut < reply.size(); ++cut) {
        download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
        Start(0, 0);
        Receive(reply.substr(0, cut));
        if (cut < reply.size() - 4) {
            EXPECT_FALSE(Stopped()) << cut;
            EXPECT_TRUE(download->sizes.empty()) << cut;
        }
        Receive(reply.substr(cut));
        EXPECT_EQ(download->sizes, std::vector<uint32_t>{777}) << cut;
        EXPECT_TRUE(download->writes.empty()) << cut;
        leech->Stop();
    }
}

TEST_F(HttpLeechTest, ProbeHtmlInsteadOfFile) {
    Start(0, 0);
    Receive("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 50\r\n\r\n<html>");
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(download->resets, 1);
    EXPECT_TRUE(download->htmlSubstitute);
    EXPECT_TRUE(download->sizes.empty());
    EXPECT_TRUE(download->writes.empty());
}

TEST_F(HttpLeechTest, ProbeHtmlForAPageAddress) {
    download->config.URL_original = "http://www.example.com/index.html";
    Start(0, 0);
    Receive("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 50\r\n\r\n<html>");
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(download->resets, 1);  // no size from an HTML answer: one stream fetches it
    EXPECT_FALSE(download->htmlSubstitute);
    EXPECT_TRUE(download->writes.empty());
}

TEST_F(HttpLeechTest, ContentLengthThatDoesNotFit) {
    for (const char* length : {"4294967295", "4294967296", "18446744073709551617", "12abc", "-5"}) {
        download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
        Start(0, 0);
        Receive(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length + "\r\n\r\nDATA");
        EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_FILE_TOO_BIG}) << length;
        EXPECT_TRUE(download->sizes.empty()) << length;
        EXPECT_TRUE(download->writes.empty()) << length;
        leech->Stop();
        // The same for the stream that reads the whole body.
        download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
        download->singleStream = true;
        Start(0, 0);
        Receive(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length + "\r\n\r\nDATA");
        EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_FILE_TOO_BIG}) << length;
        EXPECT_TRUE(download->writes.empty()) << length;
        leech->Stop();
    }
}

TEST_F(HttpLeechTest, EmptyFileIsCompleteAtOnce) {
    Start(0, 0);
    Receive("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(download->sizes, std::vector<uint32_t>{0});
    EXPECT_EQ(download->completes, 1);
}

TEST_F(HttpLeechTest, OkToRangedRequestRestartsFromZeroInOneStream) {
    download->size = 20;
    Start(10, 19);
    Receive("HTTP/1.0 200 OK\r\nContent-Length: 20\r\n\r\n0123456789");
    EXPECT_EQ(download->resets, 1);
    EXPECT_EQ(leech->GetPosition(), 10u);
    EXPECT_EQ(leech->GetEnd(), 19u);
    EXPECT_FALSE(Stopped());
    Receive("ABCDEFGHIJ-and-more-than-announced");
    EXPECT_EQ(download->file, "0123456789ABCDEFGHIJ");
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, OkWithAnotherSizeIsAnotherFile) {
    download->size = 20;
    Start(10, 19);
    Receive("HTTP/1.0 200 OK\r\nContent-Length: 25\r\n\r\n0123456789");
    EXPECT_EQ(download->restarts, 1);
    EXPECT_TRUE(download->writes.empty());
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, SectionRunsThroughItsLastByte) {
    download->size = 100;
    Start(0, 9);
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-9/100\r\n\r\n01234");
    Receive("5678");
    EXPECT_FALSE(Stopped());  // byte 9 is still due
    EXPECT_EQ(leech->GetState(), LEECH_RECEIVING);
    EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_DOWNLOADING});
    EXPECT_TRUE(engine->last->throttled);
    Receive("9XYZ");  // a server that sends past the end: those bytes are not ours
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(download->file, "0123456789");
}

TEST_F(HttpLeechTest, PartialHeaderSplitAtEveryPosition) {
    const std::string reply =
        "HTTP/1.1 206 Partial Content\r\nContent-Length: 6\r\nContent-Range: bytes 4-9/10\r\n\r\nEFGHIJ";
    for (size_t cut = 1; cut < reply.size(); ++cut) {
        download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
        download->size = 10;
        download->file = "ABCD";
        Start(4, 9);
        Receive(reply.substr(0, cut));
        Receive(reply.substr(cut));
        EXPECT_EQ(download->file, "ABCDEFGHIJ") << cut;
        EXPECT_TRUE(Stopped()) << cut;
        leech->Stop();
    }
}

TEST_F(HttpLeechTest, OtherRangeThanAsked) {
    download->size = 100;
    download->file = std::string(100, '-');
    Start(50, 59);  // the server starts later than asked: nothing of it is usable
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 55-59/100\r\n\r\nXXXXX");
    EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_FAILED});
    EXPECT_TRUE(download->writes.empty());
    leech->Stop();

    download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    download->size = 100;
    Start(50, 59);  // the server starts earlier: the bytes before 50 are skipped
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 45-99/100\r\n\r\n45678");
    Receive("0123456789abcdef");
    ASSERT_EQ(download->writes.size(), 1u);
    EXPECT_EQ(download->writes[0].offset, 50u);
    EXPECT_EQ(download->file.substr(50), "0123456789");
    EXPECT_TRUE(Stopped());
    leech->Stop();

    download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    download->size = 100;
    Start(50, 59);  // a 206 without its range cannot be placed
    Receive("HTTP/1.1 206 Partial\r\n\r\n0123456789");
    EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_FAILED});
    EXPECT_TRUE(download->writes.empty());
}

TEST_F(HttpLeechTest, PartialToTheProbe) {
    Start(0, 0);
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99/5000\r\n\r\n0123456789");
    EXPECT_EQ(download->sizes, std::vector<uint32_t>{5000});
    EXPECT_TRUE(download->writes.empty());
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, ServerFileChangedUnderAResume) {
    download->size = 100;
    Start(50, 99);  // the total is no longer the known size
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 50-99/120\r\n\r\n0123456789");
    EXPECT_EQ(download->restarts, 1);
    EXPECT_TRUE(download->writes.empty());
    EXPECT_TRUE(Stopped());
    leech->Stop();

    download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    download->size = 100;
    download->lastModified = "Mon, 01 Jan 2024 00:00:00 GMT";
    Start(50, 99);  // same size, newer date
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 50-99/100\r\nLast-Modified: Tue, 02 Jan 2024 00:00:00 GMT\r\n\r\nx");
    EXPECT_EQ(download->restarts, 1);
    EXPECT_TRUE(download->writes.empty());
    leech->Stop();

    download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    download->size = 100;
    download->lastModified = "Mon, 01 Jan 2024 00:00:00 GMT";
    Start(50, 99);  // the same file: spliced
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 50-99/100\r\nLast-Modified: Mon, 01 Jan 2024 00:00:00 GMT\r\n\r\nx");
    EXPECT_EQ(download->restarts, 0);
    EXPECT_EQ(download->writes.size(), 1u);
}

TEST_F(HttpLeechTest, UnknownSizeStreamCompletesOnClose) {
    download->singleStream = true;
    Start(0, 0);
    EXPECT_EQ(Sent().find("Range"), std::string::npos);
    Receive("HTTP/1.0 200 OK\r\n\r\nhello ");
    Receive("world");
    EXPECT_EQ(leech->GetEnd(), 0xFFFFFFFFu);
    leech->OnClose(engine->last.Get());
    EXPECT_EQ(download->file, "hello world");
    EXPECT_EQ(download->completes, 1);
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, CutShortStreamIsNotComplete) {
    download->singleStream = true;
    Start(0, 0);
    Receive("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly part");
    leech->OnClose(engine->last.Get());
    EXPECT_EQ(download->completes, 0);
    EXPECT_EQ(download->statuses.back(), DS_ABORTED);
}

TEST_F(HttpLeechTest, CloseBeforeTheBytesAskedForIsAFailedAttempt) {
    // Reported as "Aborted", which the download's retry rule counts: never a silent stop that
    // the planner answers with the same request at once.
    const struct {
        const char* reply;
        DownloadStatus status;  // DS_NONE: none
    } cases[] = {
        {"", DS_ABORTED},                                     // closed without a reply
        {"HTTP/1.1 206 Partial\r\nContent-Ra", DS_ABORTED},  // in the middle of the header
        {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-49/100\r\n\r\n0123", DS_ABORTED},
        {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-49/100\r\n\r\n", DS_ABORTED},
        {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-49/100\r\n\r\n"
         "01234567890123456789012345678901234567890123456789",
         DS_NONE},  // all 50 bytes in: the worker had stopped by itself
    };
    for (const auto& c : cases) {
        download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
        download->size = 100;
        Start(0, 49);
        if (*c.reply) Receive(c.reply);
        leech->OnClose(engine->last.Get());
        EXPECT_EQ(download->completes, 0) << c.reply;
        EXPECT_TRUE(Stopped()) << c.reply;
        if (c.status == DS_NONE)
            EXPECT_TRUE(download->statuses.empty() || download->statuses.back() == DS_DOWNLOADING) << c.reply;
        else
            EXPECT_EQ(download->statuses.empty() ? DS_NONE : download->statuses.back(), c.status) << c.reply;
        leech->Stop();
    }
}

TEST_F(HttpLeechTest, RefusedWriteStops) {
    download->size = 100;
    download->writeOk = false;
    Start(0, 49);
    Receive("HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-49/100\r\n\r\n0123");
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_DOWNLOADING});
}

TEST_F(HttpLeechTest, ConnectFailures) {
    leech = RefPtr<CHTTPLeech>::Adopt(new CHTTPLeech(download.Get(), 0, 0, Env()));
    engine->create = false;
    EXPECT_FALSE(leech->Connect());
    EXPECT_EQ(downloader->uses, 0);
    leech.Reset();

    engine->create = true;
    Start(0, 9);
    leech->OnConnect(engine->last.Get(), false);
    EXPECT_EQ(download->statuses.back(), DS_CANT_CONNECT);
    EXPECT_TRUE(Stopped());
}

TEST_F(HttpLeechTest, TimeoutsByState) {
    SLeechTimeouts limits{20, 10};
    leech = RefPtr<CHTTPLeech>::Adopt(new CHTTPLeech(download.Get(), 0, 9, Env()));
    ASSERT_TRUE(leech->Connect());  // connecting: "dwConnect"
    engine->last->idle = 20;
    leech->CheckTimeoutWith(limits);
    EXPECT_FALSE(Stopped());
    engine->last->idle = 21;
    engine->last->active = false;  // a socket out of the check is never timed out
    leech->CheckTimeoutWith(limits);
    EXPECT_FALSE(Stopped());
    engine->last->active = true;
    leech->CheckTimeoutWith(limits);
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_TIMEOUT});
    EXPECT_EQ(downloader->logs.back().kind, LOG_TIMEOUT);
    EXPECT_EQ(downloader->logs.back().text, download->config.URL_original);
    leech->Stop();

    download = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    Start(0, 9);  // request sent: "dwTransfer"
    engine->last->idle = 11;
    leech->CheckTimeoutWith(limits);
    EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_TIMEOUT});
}

TEST_F(HttpLeechTest, StopClosesAndReleases) {
    Start(0, 9);
    RefPtr<test::http::FakeSocket> socket = engine->last;
    int reschedules = downloader->reschedules;
    Receive("HTTP/1.1 404 Not Found\r\n\r\n");
    EXPECT_EQ(downloader->reschedules, reschedules + 1);
    EXPECT_EQ(leech->GetSocketCount(), 1u);  // kept until the download removes the worker
    leech->Stop();
    EXPECT_EQ(socket->closes, 1);
    EXPECT_EQ(downloader->uses, 0);
    EXPECT_EQ(downloader->logs.back().kind, LOG_CLOSED);
    EXPECT_EQ(leech->GetSocketCount(), 0u);
    RefPtr<IDownload> none;
    EXPECT_FALSE(leech->GetDownload(none.Put()));
    Receive("late data");  // after teardown nothing happens
}

}  // namespace
}  // namespace plover
