// One FTP worker driven by hand: the test plays the server (replies on the control connection,
// the data connection's connect, accept, data and close) against a recording download, socket
// engine and downloader, and checks every command the worker sends.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "download/ftp_leech.h"
#include "download/ftp_logins.h"
#include "download/http_fakes.h"

namespace plover {
namespace {

using test::http::FakeDownload;
using test::http::FakeDownloader;
using test::http::FakeSocket;
using test::http::FakeSocketEngine;

RefPtr<FakeDownload> FtpDownload() {
    auto d = RefPtr<FakeDownload>::Adopt(new FakeDownload);
    d->config.URL_original = "ftp://ftp.example.com/pub/a.bin";
    d->config.Server = "ftp.example.com";
    d->config.Object = "/pub/a.bin";
    d->config.Service = SERVICE_FTP;
    d->config.Port = 21;
    return d;
}

// A worker with its own stand-ins.
struct Worker {
    Worker(RefPtr<FakeDownload> d, SFtpSettings settings, uint32_t start, uint32_t end) : download(std::move(d)) {
        SLeechEnv env;
        env.downloader = RefPtr<IDownloader>(downloader.Get());
        env.sockets = RefPtr<ISocketEngine>(engine.Get());
        leech = RefPtr<CFTPLeech>::Adopt(new CFTPLeech(download.Get(), start, end, env, settings));
        EXPECT_TRUE(leech->Connect());
        leech->OnConnect(Control(), true);
        leech->OnReady(Control());
    }
    ~Worker() { leech->Stop(); }

    FakeSocket* Control() { return engine->made.at(0).Get(); }
    FakeSocket* Data() { return engine->made.size() > 1 ? engine->made[1].Get() : nullptr; }
    // Plays one step of the server; returns what the worker sent in answer. "<data>" connects the
    // passive data connection, "<accept>" hands the listening socket its connection.
    std::string Step(const std::string& input) {
        size_t before = Control()->sent.size();
        if (input == "<data>")
            leech->OnConnect(Data(), true);
        else if (input == "<accept>")
            leech->OnAccept(Data());
        else
            leech->OnReceive(Control(), reinterpret_cast<const uint8_t*>(input.data()), uint32_t(input.size()));
        return Control()->sent.substr(before);
    }
    void DataIn(const std::string& bytes) {
        leech->OnReceive(Data(), reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
    }
    // Passive login and transfer set-up up to the RETR command.
    void ToRetr() {
        for (const char* step : {"220 ready\r\n", "331 password\r\n", "230 in\r\n", "200 binary\r\n",
                                 "227 Entering Passive Mode (127,0,0,1,200,10).\r\n", "<data>", "350 ok\r\n"})
            Step(step);
    }
    bool Stopped() { return leech->IsStopped() != 0; }

    RefPtr<FakeDownload> download;
    RefPtr<FakeDownloader> downloader = RefPtr<FakeDownloader>::Adopt(new FakeDownloader);
    RefPtr<FakeSocketEngine> engine = RefPtr<FakeSocketEngine>::Adopt(new FakeSocketEngine);
    RefPtr<CFTPLeech> leech;
};

const SFtpSettings kPassive{0, true};

struct ConversationCase {
    const char* name;
    SFtpSettings settings;
    const char* user;  // empty: no login
    const char* password;
    uint16_t port;
    uint32_t start, end;
    std::vector<std::pair<std::string, std::string>> steps;  // server step -> commands sent
    const char* dataAddress;                                 // where the data connection goes
};

TEST(FtpLeechTest, Conversations) {
    const ConversationCase cases[] = {
        {"anonymous, passive", kPassive, "", "", 21, 100, 199,
         {{"220 Service ready\r\n", "USER anonymous\r\n"},
          {"331 Please specify the password.\r\n", "PASS plover@example.com\r\n"},
          {"230 Login successful.\r\n", "TYPE I\r\n"},
          {"200 Switching to Binary mode.\r\n", "PASV\r\n"},
          {"227 Entering Passive Mode (10,0,0,5,19,137).\r\n", ""},
          {"<data>", "REST 100\r\n"},
          {"350 Restart position accepted (100).\r\n", "RETR pub/a.bin\r\n"},
          {"150 Opening BINARY mode data connection (1234 bytes).\r\n", ""}},
         "10.0.0.5:5001"},
        {"230 straight after USER, active, REST 0", {0, false}, "u", "p", 21, 0, 9,
         {{"220-Welcome\r\n421 is a line of the greeting, not a reply\r\n220 ready\r\n", "USER u\r\n"},
          {"230 Already in.\r\n", "TYPE I\r\n"},
          {"200 Type set\r\n", "PORT 127,0,0,1,19,137\r\n"},
          {"200 PORT ok\r\n", "REST 0\r\n"},
          {"350 ok\r\n", "RETR pub/a.bin\r\n"},
          {"<accept>", ""}},
         ""},
        {"FTP proxy: user@server", {2, true}, "u", "secret", 21, 0, 0,
         {{"220 proxy\r\n", "USER u@ftp.example.com\r\n"}, {"331 pw\r\n", "PASS secret\r\n"}}, ""},
        {"FTP proxy, anonymous, another port", {2, true}, "", "", 2121, 0, 0,
         {{"220 proxy\r\n", "USER anonymous@ftp.example.com:2121\r\n"}}, ""},
        {"replies split across reads, multi-line, out of turn", kPassive, "", "", 21, 0, 0,
         {{"22", ""},
          {"0 ready\r", "USER anonymous\r\n"},
          {"\n350 not now\r\n", ""},
          {"220 again\r\n", ""},
          {"230-Welcome\r\n230-Have fun\r\n", ""},
          {"230 in\r\n", "TYPE I\r\n"}},
         ""},
    };
    for (const ConversationCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto download = FtpDownload();
        download->config.Port = c.port;
        if (*c.user) download->config.Login = SLogin{1, c.user, c.password};
        Worker w(download, c.settings, c.start, c.end);
        for (const auto& [input, sent] : c.steps) EXPECT_EQ(w.Step(input), sent) << "after " << input;
        if (*c.dataAddress) {
            ASSERT_NE(w.Data(), nullptr);
            EXPECT_EQ(AddressText(w.Data()->remote), c.dataAddress);
        }
        EXPECT_FALSE(w.Stopped());
        EXPECT_TRUE(download->statuses.empty());
    }
}

TEST(FtpLeechTest, PasswordMaskedInTheLog) {
    auto download = FtpDownload();
    download->config.Login = SLogin{1, "u", "secret"};
    Worker w(download, kPassive, 0, 9);
    w.Step("220 ready\r\n");
    w.Step("331 password\r\n");
    EXPECT_EQ(w.Control()->sent, "USER u\r\nPASS secret\r\n");
    bool masked = false;
    for (const auto& line : w.downloader->logs) {
        EXPECT_EQ(line.text.find("secret"), std::string::npos) << line.text;
        masked = masked || (line.kind == LOG_REQUEST && line.text == "PASS ****");
    }
    EXPECT_TRUE(masked);
}

TEST(FtpLeechTest, ProbeTakesTheSizeFrom150) {
    Worker w(FtpDownload(), kPassive, 0, 0);
    w.ToRetr();
    w.Step("150 Opening BINARY mode data connection for a.bin (1234 bytes).\r\n");
    EXPECT_EQ(w.download->sizes, std::vector<uint32_t>{1234});
    EXPECT_TRUE(w.Stopped());
    w.DataIn("data after the stop");
    EXPECT_TRUE(w.download->writes.empty());
}

// No size in the 150: the probe's transfer is the file, from byte 0 to the end, complete once the
// data connection has closed and the server has said 226 (in either order). Data that came
// before the 150 is not lost.
TEST(FtpLeechTest, ProbeWithoutSizeFetchesOneStream) {
    for (bool replyFirst : {true, false}) {
        Worker w(FtpDownload(), kPassive, 0, 0);
        w.ToRetr();
        w.DataIn("ab");
        w.Step("150 Here it comes.\r\n");
        EXPECT_EQ(w.download->resets, 1);
        EXPECT_FALSE(w.Stopped());
        w.DataIn("cdef");
        EXPECT_EQ(w.download->file, "abcdef");
        if (replyFirst) {
            w.Step("226 Transfer complete.\r\n");
            EXPECT_EQ(w.download->completes, 0);
            w.leech->OnClose(w.Data());
        } else {
            w.leech->OnClose(w.Data());
            EXPECT_EQ(w.download->completes, 0);
            w.Step("226 Transfer complete.\r\n");
        }
        EXPECT_EQ(w.download->completes, 1);
        EXPECT_TRUE(w.Stopped());
        EXPECT_TRUE(w.download->sizes.empty());
    }
}

TEST(FtpLeechTest, SectionIsClippedAtItsEnd) {
    Worker w(FtpDownload(), kPassive, 0, 9);
    w.ToRetr();
    w.Step("150 Opening (100 bytes)\r\n");
    EXPECT_FALSE(w.Control()->active) << "the control connection is left out of the time-out";
    EXPECT_EQ(w.leech->IsPreparing(), 0);
    w.DataIn("01234");
    EXPECT_FALSE(w.Stopped());
    EXPECT_EQ(w.leech->GetState(), LEECH_RECEIVING);
    w.DataIn("56789ABCDEF");
    EXPECT_TRUE(w.Stopped());
    EXPECT_EQ(w.download->file, "0123456789");
    ASSERT_EQ(w.download->writes.size(), 2u);
    EXPECT_EQ(w.download->writes[1].offset, 5u);
    EXPECT_EQ(w.download->writes[1].length, 5u);
    EXPECT_EQ(w.download->statuses, std::vector<DownloadStatus>{DS_DOWNLOADING});
}

struct CodeCase {
    const char* setup;  // how far the conversation goes first: "login" (after PASS) or "retr"
    const char* reply;
    int workers;
    DownloadStatus status;  // DS_NONE: none set
    int sectionLimit;
};

TEST(FtpLeechTest, ReplyCodes) {
    const CodeCase cases[] = {
        {"retr", "425 Can't open data connection.\r\n", 1, DS_CANT_CONNECT, -1},
        {"retr", "426 Connection closed; transfer aborted.\r\n", 1, DS_ABORTED, -1},
        {"retr", "550 Failed to open file.\r\n", 1, DS_NOT_AVAILABLE, -1},
        {"retr", "451 Local error.\r\n", 1, DS_FAILED, -1},
        {"retr", "202 Superfluous.\r\n", 1, DS_FAILED, -1},
        {"rest", "502 REST not implemented.\r\n", 1, DS_FAILED, -1},
        {"login", "421 Too many users.\r\n", 1, DS_SERVER_ERROR, -1},
        {"login", "421 Too many users.\r\n", 3, DS_NONE, 2},
        {"pasv", "227 Entering Passive Mode (127,0,0,1,200).\r\n", 1, DS_FAILED, -1},
    };
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(c.reply);
        auto download = FtpDownload();
        download->leechCount = c.workers;
        Worker w(download, kPassive, 0, 9);
        w.Step("220 ready\r\n");
        w.Step("331 password\r\n");
        if (std::string(c.setup) != "login") {
            w.Step("230 in\r\n");
            w.Step("200 binary\r\n");
        }
        if (std::string(c.setup) == "rest" || std::string(c.setup) == "retr") {
            w.Step("227 Entering Passive Mode (127,0,0,1,200,10).\r\n");
            w.Step("<data>");
        }
        if (std::string(c.setup) == "retr") w.Step("350 ok\r\n");
        w.Step(c.reply);
        EXPECT_TRUE(w.Stopped());
        if (c.status == DS_NONE)
            EXPECT_TRUE(download->statuses.empty());
        else
            EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{c.status});
        EXPECT_EQ(download->sectionLimit, c.sectionLimit);
    }
}

// 530: the login request when nothing else is logged in to the server; "Temporarily unavailable"
// (the server's user limit) while another worker of the program is; one worker fewer when the
// download runs several.
TEST(FtpLeechTest, LoginRefused) {
    auto Refused = [](int workers) {
        auto download = FtpDownload();
        download->leechCount = workers;
        auto w = std::make_unique<Worker>(download, kPassive, 0, 9);
        w->Step("220 ready\r\n");
        w->Step("331 password\r\n");
        w->Step("530 Login incorrect.\r\n");
        EXPECT_TRUE(w->Stopped());
        return download;
    };
    auto alone = Refused(1);
    EXPECT_EQ(alone->unauthorized, 1);
    EXPECT_TRUE(alone->statuses.empty());

    {
        auto other = FtpDownload();
        other->config.Server = "FTP.Example.com";  // the same server, however written
        Worker in(other, kPassive, 0, 0);
        in.Step("220 ready\r\n");
        in.Step("230 in\r\n");
        auto limited = Refused(1);
        EXPECT_EQ(limited->unauthorized, 0);
        EXPECT_EQ(limited->statuses, std::vector<DownloadStatus>{DS_TEMPORARILY_UNAVAILABLE});
        auto several = Refused(3);
        EXPECT_EQ(several->sectionLimit, 2);
        EXPECT_EQ(several->unauthorized, 0);
        EXPECT_TRUE(several->statuses.empty());
    }
    // The other worker has stopped and left the list.
    EXPECT_FALSE(FtpLoginOtherOn("ftp.example.com", nullptr));
    EXPECT_EQ(Refused(1)->unauthorized, 1);
}

TEST(FtpLeechTest, ActiveDataConnection) {
    Worker w(FtpDownload(), {0, false}, 0, 4);
    for (const char* step : {"220 ready\r\n", "331 pw\r\n", "230 in\r\n", "200 binary\r\n", "200 PORT ok\r\n",
                             "350 ok\r\n", "150 Opening (5 bytes)\r\n"})
        w.Step(step);
    ASSERT_NE(w.Data(), nullptr);
    EXPECT_TRUE(w.Data()->registered);
    EXPECT_EQ(w.leech->IsPreparing(), 1);
    w.Step("<accept>");
    EXPECT_EQ(w.Data()->accepts, 1);
    EXPECT_EQ(w.leech->IsPreparing(), 0);
    w.DataIn("hello");
    EXPECT_EQ(w.download->file, "hello");
    EXPECT_TRUE(w.Stopped());

    Worker refused(FtpDownload(), {0, false}, 0, 4);
    refused.engine->listen = false;  // no listening socket: nothing to name in PORT
    for (const char* step : {"220 ready\r\n", "331 pw\r\n", "230 in\r\n", "200 binary\r\n"}) refused.Step(step);
    EXPECT_TRUE(refused.Stopped());
    EXPECT_EQ(refused.download->statuses, std::vector<DownloadStatus>{DS_FAILED});
}

// The section ended early on the server: no more of it will come.
TEST(FtpLeechTest, DataClosedBeforeTheSectionEnd) {
    Worker w(FtpDownload(), kPassive, 0, 99);
    w.ToRetr();
    w.Step("150 Opening (50 bytes)\r\n");
    w.DataIn(std::string(50, 'x'));
    w.leech->OnClose(w.Data());
    EXPECT_TRUE(w.Stopped());
    EXPECT_EQ(w.download->statuses.back(), DS_ABORTED);
}

TEST(FtpLeechTest, LineBreakInTheLoginIsNeverSent) {
    auto download = FtpDownload();
    download->config.Login = SLogin{1, "u\r\nDELE x", "p"};
    Worker w(download, kPassive, 0, 9);
    w.Step("220 ready\r\n");
    EXPECT_EQ(w.Control()->sent, "");
    EXPECT_TRUE(w.Stopped());
    EXPECT_EQ(download->statuses, std::vector<DownloadStatus>{DS_FAILED});
}

}  // namespace
}  // namespace plover
