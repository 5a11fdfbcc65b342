// https as a user meets it: plover get, scan and collect against nginx speaking TLS with
// certificates the test makes (a test authority that only --ca-certificate or SSL_CERT_FILE makes
// trusted), checked byte for byte; every certificate fault ends the download with its own status
// and leaves no file; http addresses that redirect to https are followed; the HTTP proxy tunnels.
#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"
#include "testutil/test_certs.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;
constexpr size_t MiB = 1024 * 1024;

NginxOptions WithCertificate(const TlsPair& pair) {
    NginxOptions options;
    options.tlsCertificate = pair.certificate;
    options.tlsKey = pair.key;
    return options;
}

// Lines of the access log ("METHOD URI STATUS RANGE BYTES") for uri, as status and range.
std::vector<std::pair<int, std::string>> Requests(const std::string& log, const std::string& uri) {
    std::vector<std::pair<int, std::string>> out;
    std::istringstream in(log);
    std::string line, method, path, range;
    int status = 0;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        if (f >> method >> path >> status >> range && path == uri) out.emplace_back(status, range);
    }
    return out;
}

bool Contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

class HttpsTest : public ::testing::Test {
protected:
    std::string Folder() const { return out.Str(); }
    SRunResult Get(std::vector<std::string> args) {
        args.insert(args.begin(), {"get", "--folder", Folder()});
        return RunPlover(home.Str(), args);
    }
    std::string Served(const NginxServer& web, const std::string& name) const {
        return Sha256Of((web.Root() / name).string());
    }

    TestCertificates certs;
    TempDir home, out;
};

TEST_F(HttpsTest, LargeFileInSectionsIsByteIdenticalAndTheLogAndListNameTls) {
    NginxServer web(WithCertificate(certs.Server()));
    WriteFile(web.Root() / "big.bin", PatternBytes(24 * MiB, 11));
    SRunResult r = Get({"--verbose", "--ca-certificate", certs.CaFile(), web.HttpsUrl("/big.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/big.bin"), Served(web, "big.bin"));
    int ranged = 0;
    for (auto& [status, range] : Requests(web.AccessLog(), "/big.bin")) ranged += status == 206;
    EXPECT_GE(ranged, 2) << web.AccessLog();
    EXPECT_TRUE(Contains(r.err, "* TLS TLSv1.3 TLS_")) << r.err;  // version and cipher
    EXPECT_FALSE(Contains(r.err, "Warning:")) << "verification was on";

    SRunResult list = RunPlover(home.Str(), {"list"});
    EXPECT_TRUE(Contains(list.out, "TLS " + web.HttpsUrl("/big.bin"))) << list.out;
}

TEST_F(HttpsTest, InterruptedRunIsContinuedWithRanges) {
    NginxOptions options = WithCertificate(certs.Server());
    options.limitRate = 512 * 1024;
    NginxServer web(options);
    const size_t size = 12 * MiB;
    WriteFile(web.Root() / "slow.bin", PatternBytes(size, 12));
    std::vector<std::string> args = {"get", "--folder", Folder(), "--ca-certificate", certs.CaFile(),
                                     web.HttpsUrl("/slow/slow.bin")};
    {
        CBackgroundPlover run(home.Str(), args, home.Str());
        for (int i = 0; i < 600; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (Contains(run.Output(), "Downloading") && i > 40) break;
        }
        run.Signal(SIGINT);
        SRunResult first = run.Wait(60000);
        ASSERT_EQ(first.exitCode, 130) << first.out << first.err;
    }
    size_t firstLines = Requests(web.AccessLog(), "/slow/slow.bin").size();
    SRunResult second = RunPlover(home.Str(), args);
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(Sha256Of(Folder() + "/slow.bin"), Served(web, "slow.bin"));
    auto all = Requests(web.AccessLog(), "/slow/slow.bin");
    ASSERT_GT(all.size(), firstLines);
    for (size_t i = firstLines; i < all.size(); ++i) EXPECT_NE(all[i].second, "-") << web.AccessLog();
}

TEST_F(HttpsTest, BasicAuthenticationWithASiteLoginMatchedByHost) {
    NginxServer web(WithCertificate(certs.Server()));
    WriteFile(web.Root() / "auth" / "a.bin", PatternBytes(2 * MiB, 13));
    ASSERT_EQ(RunPlover(home.Str(), {"sites", "add", "localhost", "user", "secret"}).exitCode, 0);
    SRunResult r = Get({"--ca-certificate", certs.CaFile(), web.HttpsUrl("/auth/a.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/a.bin"), Served(web, "auth/a.bin"));
}

TEST_F(HttpsTest, HttpAddressRedirectedToHttpsIsFollowed) {
    NginxServer secure(WithCertificate(certs.Server()));
    WriteFile(secure.Root() / "moved.bin", PatternBytes(3 * MiB, 14));
    NginxOptions plainOptions;
    plainOptions.extraLocations = "    location /to-tls/ { rewrite ^/to-tls/(.*)$ " + secure.HttpsUrl("/") + "$1 permanent; }\n";
    NginxServer plain(plainOptions);
    SRunResult r = Get({"--ca-certificate", certs.CaFile(), plain.Url("/to-tls/moved.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/moved.bin"), Served(secure, "moved.bin"));
}

// Each fault: the status text, a non-zero exit, no file; the reason goes to the verbose log.
TEST_F(HttpsTest, CertificateFaultsEndTheDownloadWithTheirStatus) {
    NginxServer good(WithCertificate(certs.Server()));
    NginxServer expired(WithCertificate(certs.Expired()));
    NginxServer other(WithCertificate(certs.OtherHost()));
    NginxServer self(WithCertificate(certs.SelfSigned()));
    for (NginxServer* s : {&good, &expired, &other, &self}) WriteFile(s->Root() / "f.bin", PatternBytes(300000, 15));
    struct Case {
        std::string url;
        bool withCa;
        std::string status, reason;
    } cases[] = {
        {expired.HttpsUrl("/f.bin"), true, "Certificate expired", "certificate has expired"},
        {other.HttpsUrl("/f.bin"), true, "Certificate is for another host", "hostname mismatch"},
        {other.HttpsUrl("/f.bin", "127.0.0.1"), true, "Certificate is for another host", "IP address mismatch"},
        {self.HttpsUrl("/f.bin"), true, "Certificate not trusted", "self-signed certificate"},
        {good.HttpsUrl("/f.bin"), false, "Certificate not trusted", "unable to get local issuer certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " " + c.status);
        TempDir folder;
        std::vector<std::string> args = {"get", "--verbose", "--folder", folder.Str(), c.url};
        if (c.withCa) args.insert(args.end(), {"--ca-certificate", certs.CaFile()});
        SRunResult r = RunPlover(home.Str(), args);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(Contains(r.out + r.err, c.status)) << r.out << r.err;
        EXPECT_TRUE(Contains(r.err, c.reason)) << r.err;
        EXPECT_FALSE(fs::exists(folder.Path() / "f.bin"));
        EXPECT_TRUE(Requests(good.AccessLog() + expired.AccessLog() + other.AccessLog() + self.AccessLog(), "/f.bin").empty())
            << "no request goes to a server that failed the check";
    }
}

TEST_F(HttpsTest, InsecureSkipsTheCheckWithAWarningAndTrustCanComeFromTheEnvironment) {
    NginxServer expired(WithCertificate(certs.Expired()));
    NginxServer good(WithCertificate(certs.Server()));
    WriteFile(expired.Root() / "e.bin", PatternBytes(200000, 16));
    WriteFile(good.Root() / "g.bin", PatternBytes(200000, 17));
    SRunResult r = Get({"--insecure", expired.HttpsUrl("/e.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, "Warning: certificates of https servers are not verified")) << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/e.bin"), Served(expired, "e.bin"));

    // The setting does the same on every run, warning each time.
    ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "bTlsInsecure", "1"}).exitCode, 0);
    SRunResult set = Get({"--overwrite", expired.HttpsUrl("/e.bin")});
    EXPECT_EQ(set.exitCode, 0) << set.out << set.err;
    EXPECT_TRUE(Contains(set.err, "Warning: certificates")) << set.err;
    ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "bTlsInsecure", "0"}).exitCode, 0);

    // SSL_CERT_FILE names the trusted authorities, as OpenSSL reads it.
    setenv("SSL_CERT_FILE", certs.CaFile().c_str(), 1);
    SRunResult env = Get({good.HttpsUrl("/g.bin")});
    unsetenv("SSL_CERT_FILE");
    ASSERT_EQ(env.exitCode, 0) << env.out << env.err;
    EXPECT_EQ(Sha256Of(Folder() + "/g.bin"), Served(good, "g.bin"));

    // An anchor file that cannot be read: refused on the command line, a failure from the setting.
    std::string none = (out.Path() / "none.pem").string();
    SRunResult missing = Get({"--ca-certificate", none, good.HttpsUrl("/g.bin")});
    EXPECT_EQ(missing.exitCode, 1) << missing.err;
    ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "csTlsCaFile", none}).exitCode, 0);
    SRunResult stored = Get({"--verbose", "--overwrite", good.HttpsUrl("/g.bin")});
    EXPECT_NE(stored.exitCode, 0);
    EXPECT_TRUE(Contains(stored.out + stored.err, "Certificate not trusted")) << stored.out << stored.err;
    EXPECT_TRUE(Contains(stored.err, "cannot read the CA certificate file " + none)) << stored.err;
}

TEST_F(HttpsTest, ThroughTheHttpProxyInATunnelOrARefusal) {
    NginxServer web(WithCertificate(certs.Server()));
    WriteFile(web.Root() / "t.bin", PatternBytes(4 * MiB, 18));
    {
        TinyProxy proxy;
        ASSERT_EQ(RunPlover(home.Str(), {"proxy", "set", "http", "127.0.0.1", std::to_string(proxy.Port())}).exitCode, 0);
        SRunResult r = Get({"--ca-certificate", certs.CaFile(), web.HttpsUrl("/t.bin")});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(Sha256Of(Folder() + "/t.bin"), Served(web, "t.bin"));
        EXPECT_TRUE(Contains(proxy.Log(), "CONNECT")) << proxy.Log();
    }
    // A proxy that tunnels only to port 443 refuses this server's port.
    TinyProxy strict("ConnectPort 443\n");
    ASSERT_EQ(RunPlover(home.Str(), {"proxy", "set", "http", "127.0.0.1", std::to_string(strict.Port())}).exitCode, 0);
    TempDir folder;
    SRunResult refused = RunPlover(home.Str(), {"get", "--folder", folder.Str(), "--ca-certificate", certs.CaFile(),
                                                web.HttpsUrl("/t.bin")});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(Contains(refused.out + refused.err, "Proxy refused the tunnel")) << refused.out << refused.err;
    EXPECT_FALSE(fs::exists(folder.Path() / "t.bin"));
}

// A small gallery served over TLS: scanned, then collected into a basket byte for byte.
TEST_F(HttpsTest, ScanAndCollectAGallery) {
    NginxServer web(WithCertificate(certs.Server()));
    fs::create_directories(web.Root() / "thumbs");
    fs::create_directories(web.Root() / "pictures");
    std::string page = "<html><head><title>Secure</title></head><body>\n";
    for (int i = 0; i < 4; ++i) {
        std::string n = "pic" + std::to_string(i) + ".jpg";
        WriteFile(web.Root() / "thumbs" / n, PatternBytes(1500 + size_t(i), uint32_t(i + 50)));
        WriteFile(web.Root() / "pictures" / n, PatternBytes(20000 + size_t(i) * 30000, uint32_t(i + 60)));
        page += "<a href=\"pictures/" + n + "\"><img src=\"/thumbs/" + n + "\" width=\"120\" height=\"90\"></a>\n";
    }
    WriteFile(web.Root() / "gallery.html", page + "</body></html>\n");
    TempDir cache, files;
    ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "csCacheFolder", cache.Str()}).exitCode, 0);

    SRunResult scan = RunPlover(home.Str(), {"scan", "--ca-certificate", certs.CaFile(), web.HttpsUrl("/gallery.html"), "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.out << scan.err;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Contains(scan.out, web.HttpsUrl("/pictures/pic" + std::to_string(i) + ".jpg"))) << scan.out;

    ASSERT_EQ(RunPlover(home.Str(), {"basket", "add", "Secure", files.Str()}).exitCode, 0);
    SRunResult collect = RunPlover(home.Str(), {"collect", "--ca-certificate", certs.CaFile(), web.HttpsUrl("/gallery.html"),
                                                "--basket", "Secure"});
    ASSERT_EQ(collect.exitCode, 0) << collect.out << collect.err;
    for (int i = 0; i < 4; ++i) {
        std::string n = "pic" + std::to_string(i) + ".jpg";
        EXPECT_EQ(Sha256Of((files.Path() / n).string()), Served(web, "pictures/" + n)) << n;
    }
}

}  // namespace
}  // namespace plover::test
