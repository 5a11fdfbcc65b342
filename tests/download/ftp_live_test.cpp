// FTP workers over real sockets against real servers on loopback: vsftpd (anonymous and a user
// with a password, passive and active data connections), Debian's ftp-proxy ("USER user@host")
// and squid (ftp:// addresses fetched for an HTTP client). The download is the recording
// stand-in, so each case checks exactly what one worker did; whole downloads end to end are the
// command-line tests.
#include <gtest/gtest.h>

#include "download/ftp_leech.h"
#include "download/http_leech.h"
#include "live_worker_fixture.h"
#include "testutil/servers.h"

namespace plover {
namespace {

using test::Pattern;
using test::http::FakeDownload;

class FtpLiveTest : public test::LiveWorkerTest {
protected:
    // A download of ftp://127.0.0.1:port/object whose workers connect to 127.0.0.1:connectPort.
    RefPtr<FakeDownload> Download(uint16_t port, const std::string& object, uint16_t connectPort = 0) {
        RefPtr<FakeDownload> d = LiveWorkerTest::Download("ftp", port, object);
        if (connectPort) d->serverPort = connectPort;
        d->config.Service = SERVICE_FTP;
        return d;
    }
    void Fetch(FakeDownload* d, uint32_t start, uint32_t end, SFtpSettings settings) {
        Run([&] { return StartFtpLeech(d, start, end, Env(), settings); });
    }

};

// The probe learns the size from the 150 reply; sections in any order, passive and active, make
// up the file.
TEST_F(FtpLiveTest, ProbeThenSectionsPassiveAndActive) {
    test::VsftpdServer ftp;
    const std::string original = Pattern(3 * 1024 * 1024 + 17);
    test::WriteFile(ftp.Root() / "pub/a.bin", original);
    auto d = Download(ftp.Port(), "/pub/a.bin");
    Fetch(d.Get(), 0, 0, {0, true});
    ASSERT_EQ(d->sizes, std::vector<uint32_t>{uint32_t(original.size())}) << ftp.Log();
    EXPECT_TRUE(d->writes.empty());
    uint32_t size = d->size, third = size / 3;
    Fetch(d.Get(), third, 2 * third - 1, {0, false});  // active
    Fetch(d.Get(), 2 * third, size - 1, {0, true});
    Fetch(d.Get(), 0, third - 1, {0, false});
    EXPECT_TRUE(d->file == original) << "the assembled file differs from the original";
    EXPECT_NE(ftp.Log().find("\"REST " + std::to_string(third) + "\""), std::string::npos) << ftp.Log();
    EXPECT_NE(ftp.Log().find("\"PORT 127,0,0,1,"), std::string::npos);
    EXPECT_NE(ftp.Log().find("\"PASV\""), std::string::npos);
    EXPECT_NE(ftp.Log().find("\"REST 0\""), std::string::npos);
}

TEST_F(FtpLiveTest, UserWithPassword) {
    test::VsftpdServer ftp;
    if (!ftp.HasUser()) GTEST_SKIP() << "no mount namespace for vsftpd's own user here";
    const std::string original = Pattern(200000);
    std::filesystem::create_directories(ftp.Home() / "mine");
    test::WriteFile(ftp.Home() / "mine/u.bin", original);
    auto d = Download(ftp.Port(), "/mine/u.bin");
    d->config.Login = SLogin{1, ftp.Options().userName, ftp.Options().password};
    d->size = uint32_t(original.size());
    Fetch(d.Get(), 0, d->size - 1, {0, true});
    EXPECT_TRUE(d->file == original);
    EXPECT_EQ(ftp.Log().find(ftp.Options().password), std::string::npos);

    auto wrong = Download(ftp.Port(), "/mine/u.bin");
    wrong->config.Login = SLogin{1, ftp.Options().userName, "not the password"};
    Fetch(wrong.Get(), 0, 0, {0, true});
    EXPECT_EQ(wrong->unauthorized, 1);
    EXPECT_TRUE(wrong->writes.empty());
}

TEST_F(FtpLiveTest, MissingFileIsNotAvailable) {
    test::VsftpdServer ftp;
    auto d = Download(ftp.Port(), "/pub/none.bin");
    Fetch(d.Get(), 0, 0, {0, true});
    EXPECT_EQ(d->statuses, std::vector<DownloadStatus>{DS_NOT_AVAILABLE});
}

// "USER anonymous@127.0.0.1:PORT" tells the proxy where to go.
TEST_F(FtpLiveTest, ThroughFtpProxy) {
    test::VsftpdServer ftp;
    test::FtpProxy proxy;
    const std::string original = Pattern(300000);
    test::WriteFile(ftp.Root() / "pub/p.bin", original);
    auto d = Download(ftp.Port(), "/pub/p.bin", proxy.Port());
    Fetch(d.Get(), 0, 0, {2, true});
    ASSERT_EQ(d->sizes, std::vector<uint32_t>{uint32_t(original.size())}) << proxy.Log();
    Fetch(d.Get(), 1000, d->size - 1, {2, true});
    EXPECT_TRUE(d->file.substr(1000) == original.substr(1000));
    EXPECT_NE(proxy.Log().find("anonymous"), std::string::npos) << proxy.Log();
}

// With "eMode" 1 the HTTP worker asks the HTTP proxy for the ftp:// address. Such a download is
// one stream from byte 0 (squid shifts a ranged FTP fetch by its offset twice).
TEST_F(FtpLiveTest, ThroughSquid) {
    test::VsftpdServer ftp;
    test::SquidProxy squid;
    const std::string original = Pattern(400000);
    test::WriteFile(ftp.Root() / "pub/s.bin", original);
    auto d = Download(ftp.Port(), "/pub/s.bin", squid.Port());
    Run([&] { return StartHttpLeech(d.Get(), 0, 0, Env(true)); });
    ASSERT_EQ(d->sizes, std::vector<uint32_t>{uint32_t(original.size())}) << squid.Log();
    d->singleStream = true;
    Run([&] { return StartHttpLeech(d.Get(), 0, 0, Env(true)); });
    EXPECT_TRUE(d->file == original);
    EXPECT_NE(squid.Log().find("GET ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/pub/s.bin"),
              std::string::npos)
        << squid.Log();
}

}  // namespace
}  // namespace plover
