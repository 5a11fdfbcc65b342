// Proxy records: their rules, the import of the system setting, the options page and storage.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/reg_node.h"
#include "net/proxy_import.h"
#include "net/proxy_options.h"

namespace plover {
namespace {

TEST(ProxyInfo, SetRules) {
    SProxyInfo p;
    EXPECT_FALSE(p.Set(nullptr, 80));
    EXPECT_FALSE(p.Set("a", -1));
    EXPECT_FALSE(p.Set("a", 65536));
    EXPECT_FALSE(p.IsValid());
    EXPECT_TRUE(p.Set("", 0)) << "the base record takes an empty address";
    EXPECT_FALSE(p.IsValid());
    EXPECT_TRUE(p.Set("proxy", 65535));
    EXPECT_TRUE(p.IsValid());

    SHTTPProxyInfo h;
    EXPECT_FALSE(h.Set(true, "", 80));
    EXPECT_FALSE(h.Set(true, "p", 70000));
    EXPECT_TRUE(h.Set(false, "p", 8080));
    EXPECT_FALSE(h.IsValid()) << "not used";
    EXPECT_TRUE(h.Set(true, "p", 8080));
    EXPECT_TRUE(h.IsValid());

    SFTPProxyInfo f;
    EXPECT_FALSE(f.Set("", 21, FTP_PROXY_FTP, false, "", "")) << "an FTP proxy needs an address";
    EXPECT_TRUE(f.Set("", 21, FTP_PROXY_DIRECT, false, "", ""));
    EXPECT_FALSE(f.IsValid());
}

TEST(ProxyInfo, FtpSetKeepsAddressWhenRefusedOutsideMode2) {
    SFTPProxyInfo f;
    EXPECT_FALSE(f.Set(nullptr, 21, FTP_PROXY_FTP, false, "u", "p"));
    EXPECT_EQ(f.eMode, FTP_PROXY_DIRECT) << "a refused Set stores nothing";
    EXPECT_TRUE(f.Set("ftp.proxy", 70000, FTP_PROXY_DIRECT, true, "u", "p"));
    EXPECT_EQ(f.csAddr, "");
    EXPECT_EQ(f.iPort, -1);
    EXPECT_EQ(f.bPasv, 1u);
    EXPECT_EQ(f.csUserName, "u");
    EXPECT_TRUE(f.Set("ftp.proxy", 2121, FTP_PROXY_FTP, false, "u", "p"));
    EXPECT_TRUE(f.IsValid());
    EXPECT_EQ(f.iPort, 2121);
}

TEST(ProxyImport, Entries) {
    struct Row {
        const char* value;
        const char* prefix;
        const char* entry;
    };
    const Row rows[] = {
        {"proxy:8080", "http=", "proxy:8080"},
        {"proxy:8080", "ftp=", "proxy:8080"},
        {"http=a:80;ftp=b:21", "http=", "a:80"},
        {"http=a:80;ftp=b:21", "ftp=", "b:21"},
        {"http=a:80", "ftp=", ""},
        {"https=a:443;http=b:80", "http=", "b:80"},
        {"a:1:2", "http=", ""},
        {"proxy", "http=", ""},
        {"", "http=", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(ProxyServerEntry(r.value, r.prefix), r.entry) << r.value << " " << r.prefix;
}

TEST(ProxyImport, ProxyServerCases) {
    struct Row {
        const char* value;
        uint32_t httpUse;
        const char* httpAddr;
        int32_t httpPort;
        uint32_t ftpMode;
        const char* ftpAddr;
        int32_t ftpPort;
    };
    const Row rows[] = {
        {"address:8080", 1, "address", 8080, FTP_PROXY_VIA_HTTP, "address", 8080},
        {"http=web.proxy:80;ftp=ftp.proxy:21", 1, "web.proxy", 80, FTP_PROXY_FTP, "ftp.proxy", 21},
        {"http=web.proxy:80", 1, "web.proxy", 80, FTP_PROXY_DIRECT, "", -1},
        {"http=same:3128;ftp=same:3128", 1, "same", 3128, FTP_PROXY_VIA_HTTP, "same", 3128},
        {"ftp=ftp.proxy:21", 0, "", -1, FTP_PROXY_FTP, "ftp.proxy", 21},
        {"http=noport", 0, "", -1, FTP_PROXY_DIRECT, "", -1},
        {"http=p:99999", 0, "", -1, FTP_PROXY_DIRECT, "", -1},
        {"http=p:80x", 0, "", -1, FTP_PROXY_DIRECT, "", -1},
        {"", 0, "", -1, FTP_PROXY_DIRECT, "", -1},
    };
    for (const Row& r : rows) {
        SProxyImport got = ImportProxyServer(r.value);
        EXPECT_EQ(got.http.bUse, r.httpUse) << r.value;
        EXPECT_EQ(got.http.csAddr, r.httpAddr) << r.value;
        EXPECT_EQ(got.http.iPort, r.httpPort) << r.value;
        EXPECT_EQ(got.ftp.eMode, r.ftpMode) << r.value;
        EXPECT_EQ(got.ftp.csAddr, r.ftpAddr) << r.value;
        EXPECT_EQ(got.ftp.iPort, r.ftpPort) << r.value;
    }
}

TEST(ProxyImport, AnImportKeepsThePassiveFlagAndTheFtpProxyLogin) {
    SFTPProxyInfo current;
    ASSERT_TRUE(current.Set("old.proxy", 2121, FTP_PROXY_FTP, true, "pu", "pp"));
    for (const char* value : {"http=web:3128;ftp=ftp.proxy:21", "web:3128", "http=web:3128"}) {
        SProxyImport found = ImportProxyServer(value);
        SFTPProxyInfo merged = MergeImportedFtp(current, found.ftp);
        EXPECT_TRUE(merged.Equals(found.ftp)) << value;
        EXPECT_EQ(merged.eMode, found.ftp.eMode) << value;
        EXPECT_EQ(merged.bPasv, 1u) << value;
        EXPECT_EQ(merged.csUserName, "pu") << value;
        EXPECT_EQ(merged.csPassword, "pp") << value;
    }
}

TEST(ProxyImport, FromProxyVariables) {
    struct Row {
        const char* http;
        const char* ftp;
        const char* value;
    };
    const Row rows[] = {
        {"http://127.0.0.1:3128", "", "http=127.0.0.1:3128"},
        {"http://user:pw@proxy:3128/", "", "http=proxy:3128"},
        {"proxy:8080", "http://proxy:8080/", "http=proxy:8080;ftp=proxy:8080"},
        {"", "ftp://ftpproxy", "ftp=ftpproxy:21"},
        {"http://proxy", "", "http=proxy:80"},
        {"", "", ""},
        {"http://", "", ""},
    };
    for (const Row& r : rows) EXPECT_EQ(ProxyServerFromUrls(r.http, r.ftp), r.value) << r.http << " " << r.ftp;

    ::setenv("http_proxy", "http://127.0.0.1:3128", 1);
    ::unsetenv("ftp_proxy");
    ::unsetenv("FTP_PROXY");
    SProxyImport got = ImportProxyServer(ProxyServerFromEnvironment());
    ::unsetenv("http_proxy");
    EXPECT_TRUE(got.http.IsValid());
    EXPECT_EQ(got.http.iPort, 3128);
    EXPECT_EQ(got.ftp.eMode, FTP_PROXY_DIRECT);
}

TEST(ProxyOptions, Refusals) {
    struct Row {
        const char* name;
        SProxyPage page;
        const char* message;  // null: accepted
    };
    auto page = [](bool use, const char* addr, int64_t port, uint32_t mode, const char* faddr, int64_t fport) {
        SProxyPage p;
        p.bHttpUse = use;
        p.httpAddr = addr;
        p.httpPort = port;
        p.ftpMode = mode;
        p.ftpAddr = faddr;
        p.ftpPort = fport;
        return p;
    };
    const Row rows[] = {
        {"used HTTP proxy without address", page(true, "", 8080, 0, "", -1), kMsgHTTPProxyInvalid},
        {"used HTTP proxy with a bad port", page(true, "p", 65536, 0, "", -1), kMsgHTTPProxyInvalid},
        {"FTP through an unused HTTP proxy", page(false, "p", 8080, 1, "", -1), kMsgHTTPProxyNotSpecified},
        {"FTP proxy without address", page(false, "", -1, 2, "", 21), kMsgFTPProxyInvalid},
        {"FTP proxy with a port above 65535", page(false, "", -1, 2, "f", 65536), kMsgFTPProxyInvalid},
        {"direct FTP without address", page(false, "", -1, 0, "", -1), nullptr},
        {"FTP through the used HTTP proxy", page(true, "p", 8080, 1, "", -1), nullptr},
        {"FTP proxy", page(false, "", -1, 2, "f", 2121), nullptr},
    };
    for (const Row& r : rows) {
        SHTTPProxyInfo http;
        SFTPProxyInfo ftp;
        std::string message;
        bool ok = BuildProxyRecords(r.page, http, ftp, message);
        EXPECT_EQ(ok, r.message == nullptr) << r.name;
        EXPECT_EQ(message, r.message ? r.message : "") << r.name;
    }
}

TEST(ProxyOptions, ApplyReplacesCurrentRecords) {
    SProxyPage p;
    p.bHttpUse = false;
    p.httpAddr = "";  // refused by Set while unused: the empty record is stored
    p.httpPort = 8080;
    p.ftpMode = FTP_PROXY_FTP;
    p.ftpAddr = "ftp.proxy";
    p.ftpPort = 2121;
    p.ftpUser = "me";
    std::string message;
    ASSERT_TRUE(ApplyProxyPage(p, message));
    EXPECT_EQ(GetHTTPProxy().csAddr, "");
    EXPECT_EQ(GetHTTPProxy().iPort, -1);
    EXPECT_EQ(GetFTPProxy().csAddr, "ftp.proxy");
    EXPECT_EQ(GetFTPProxy().csUserName, "me");
    EXPECT_TRUE(GetFTPProxy().IsValid());

    SProxyPage refused = p;
    refused.ftpAddr = "";
    EXPECT_FALSE(ApplyProxyPage(refused, message));
    EXPECT_EQ(GetFTPProxy().csAddr, "ftp.proxy") << "a refused page changes nothing";
    SetHTTPProxy(SHTTPProxyInfo{});
    SetFTPProxy(SFTPProxyInfo{});
}

TEST(ProxyInfo, StoredValuesInOrder) {
    HKEY root = std::make_shared<CRegNode>("");
    SHTTPProxyInfo http;
    http.Set(true, "web.proxy", 3128);
    SFTPProxyInfo ftp;
    ftp.Set("ftp.proxy", 21, FTP_PROXY_FTP, true, "user", "secret");
    ASSERT_TRUE(http.Save(root, kHTTPProxyKey));
    ASSERT_TRUE(ftp.Save(root, kFTPProxyKey));

    auto names = [&](const char* key) {
        std::vector<std::string> out;
        for (const SRegValue& v : root->FindChild(key)->Values()) out.push_back(v.name);
        return out;
    };
    EXPECT_EQ(names(kHTTPProxyKey), (std::vector<std::string>{"iPort", "csAddr", "bUse"}));
    EXPECT_EQ(names(kFTPProxyKey),
              (std::vector<std::string>{"iPort", "csAddr", "eMode", "bPasv", "csUserName", "csPassword"}));
    EXPECT_EQ(root->FindChild(kFTPProxyKey)->FindValue("csPassword")->bytes, "secret") << "plain text";

    SHTTPProxyInfo http2;
    SFTPProxyInfo ftp2;
    ASSERT_TRUE(http2.Load(root, kHTTPProxyKey));
    ASSERT_TRUE(ftp2.Load(root, kFTPProxyKey));
    EXPECT_TRUE(http2.Equals(http));
    EXPECT_EQ(http2.bUse, 1u);
    EXPECT_EQ(ftp2.eMode, FTP_PROXY_FTP);
    EXPECT_EQ(ftp2.bPasv, 1u);
    EXPECT_EQ(ftp2.csPassword, "secret");
    SHTTPProxyInfo missing;
    EXPECT_FALSE(missing.Load(root, "Nothing"));
    EXPECT_EQ(missing.iPort, -1);
}

}  // namespace
}  // namespace plover
