#pragma once
// Real servers for integration tests, each started on 127.0.0.1 on a free port from its own temp
// folder (configuration, document root, pid and logs inside it), waited for until it accepts
// connections, and stopped and removed by the destructor. Nothing outside the temp folder is read
// or written: no system configuration, no system service, no fixed port.
//
// How to use (every constructor throws std::runtime_error with the server's log when it cannot
// start, which fails the test with a readable message):
//
//   plover::test::NginxServer web;                       // nginx 1.22, HTTP/1.1, byte ranges
//   plover::test::WriteFile(web.Root() / "a.bin", bytes); // files served from Root()
//   std::string url = web.Url("/a.bin");                 // "http://127.0.0.1:PORT/a.bin"
//
//   Locations of NginxServer (files always come from Root(), sub-folders included):
//     /...            static files with Range support, Last-Modified, Content-Length
//     /auth/...       Basic authentication, user NginxOptions::user / password (default
//                     "user" / "secret"); the files are Root()/auth/...
//     /r301/X         301 to the absolute address http://127.0.0.1:PORT/X
//     /r302/X         302 to the relative location /X
//     /forbidden/...  always 403
//     /busy/...       always 503
//     /slow/X         Root()/X served with a per-connection limit_rate of NginxOptions::limitRate
//                     bytes per second (default 2 MiB/s)
//     a missing file  404
//   NginxOptions::tlsCertificate/tlsKey make it an https server (HttpsUrl("/x") is
//   "https://localhost:PORT/x"); NginxOptions::extraLocations adds locations.
//   AccessLog() returns the access log, one line a request: "METHOD URI STATUS RANGE BYTES"
//   (RANGE is "-" when the request had no Range header), handy to check what the client asked.
//   ConnectionsUsed() and RequestsLogged() tell how many connections carried how many requests;
//   NginxOptions::keepAlive sets nginx's keep-alive limits (default "keepalive_timeout 5;").
//
//   plover::test::PythonHttpServer plain;  // python3 -m http.server: HTTP/1.0, ignores Range
//                                          // (answers 200 with the whole file to a ranged GET)
//   plain.Log();                           // its request log
//   plover::test::BusyHttpServer busy(2, "1");  // python: a server too busy for the first 2
//                                          // requests of each path (429 with "Retry-After: 1"),
//                                          // then serving Root()'s file whole (HTTP/1.0)
//   busy.Log();                            // one line a request: "GET /path STATUS"
//   plover::test::TinyProxy proxy;         // tinyproxy: an HTTP proxy taking absolute-URI requests
//                                          // and CONNECT tunnels
//   proxy.Port();                          // point the client's HTTP proxy at 127.0.0.1:Port()
//   proxy.Log();                           // its log, naming each request it forwarded
//
//   plover::test::VsftpdServer ftp;                       // vsftpd: anonymous and one user, passive
//   plover::test::WriteFile(ftp.Root() / "pub/a.bin", b);  // and active data connections
//   ftp.FtpUrl("/pub/a.bin");                              // "ftp://127.0.0.1:PORT/pub/a.bin"
//   ftp.Home();                       // the user's login folder (VsftpdOptions::userName / password,
//                                     // default "plover" / "secret"); HasUser() is false when this
//                                     // machine cannot give vsftpd its own login rules (below)
//   ftp.Log();                        // its protocol log ("FTP command: ...", "FTP response: ...")
//   VsftpdOptions::anonMaxRate limits each anonymous connection (bytes per second, 0 = none).
//
//   The user exists only for this server: vsftpd runs in a mount namespace of its own where its
//   PAM rules (/etc/pam.d/vsftpd) are replaced by the test's, which check the name and password
//   with a script in the temp folder and map the login to the system's "ftp" account. Nothing
//   on the machine changes; without permission for a mount namespace the server runs anonymous
//   only.
//
//   plover::test::SquidProxy squid;   // squid: an HTTP proxy that fetches ftp:// addresses
//   squid.Log();                      // its access log
//   plover::test::FtpProxy proxy;     // Debian's ftp-proxy: "USER user@host[:port]" picks the server
//   proxy.Log();                      // its log
//
// Servers may run side by side (each has its own port and folder). The destructor sends SIGTERM to
// the process it started (never anything else), waits for it, and deletes the folder.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "testutil/temp_dir.h"

namespace plover::test {

// A TCP port on 127.0.0.1 that was free a moment ago.
uint16_t FreeLoopbackPort();

// One child process with its own temp folder; the base of every server below.
class ServerProcess {
public:
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    virtual ~ServerProcess();

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:PORT" followed by path (which should start with "/").
    std::string Url(const std::string& path) const;
    // The temp folder that holds configuration and logs.
    const std::filesystem::path& Folder() const { return dir_.Path(); }

protected:
    ServerProcess() = default;
    // Starts argv (argv[0] searched in PATH) with stdout and stderr going to Folder()/name.out,
    // on a port chosen by `configure(port)` (which writes the config for that port); waits until
    // the port accepts connections. Retries with another port when the process exits early.
    template <class Configure>
    void Start(const std::string& name, Configure configure) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            uint16_t port = FreeLoopbackPort();
            if (Launch(name, configure(port), port)) return;
        }
        Fail(name);
    }
    void Stop();
    std::string OutputLog() const;

private:
    bool Launch(const std::string& name, const std::vector<std::string>& argv, uint16_t port);
    [[noreturn]] void Fail(const std::string& name) const;

    TempDir dir_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
    std::string outName_;
};

struct NginxOptions {
    std::string user = "user";
    std::string password = "secret";
    uint32_t limitRate = 2 * 1024 * 1024;  // bytes per second per connection under /slow/
    // When both are set the server speaks only TLS (https) with this certificate and key (PEM files,
    // e.g. from testutil/test_certs.h); HttpsUrl then gives its addresses.
    std::string tlsCertificate;
    std::string tlsKey;
    std::string extraLocations;  // more "location" blocks for the server, as nginx configuration
    std::string keepAlive = "keepalive_timeout 5;";  // nginx's keep-alive directives
};

class NginxServer : public ServerProcess {
public:
    explicit NginxServer(NginxOptions options = {});
    ~NginxServer() override;
    // The document root (created empty).
    std::filesystem::path Root() const { return Folder() / "root"; }
    std::string AccessLog() const;
    // How many requests of the access log asked for uri.
    int RequestCount(const std::string& uri) const;
    // The connection log, one line a request: "CONNECTION REQUEST-ON-IT URI" (nginx's $connection
    // and $connection_requests), to tell how many connections carried the requests.
    std::string ConnectionLog() const;
    // The distinct connections and the requests in the connection log.
    int ConnectionsUsed() const;
    int RequestsLogged() const;
    std::string ErrorLog() const;
    const NginxOptions& Options() const { return options_; }
    // "https://HOST:PORT" followed by path (for a server started with a certificate).
    std::string HttpsUrl(const std::string& path, const std::string& host = "localhost") const;

private:
    NginxOptions options_;
};

class PythonHttpServer : public ServerProcess {
public:
    PythonHttpServer();
    ~PythonHttpServer() override;
    std::filesystem::path Root() const { return Folder() / "root"; }
    // Its request log (python prints one line a request to stderr).
    std::string Log() const { return OutputLog(); }
};

class BusyHttpServer : public ServerProcess {
public:
    // refusals: how many requests of each path are refused first; retryAfter: the header's value
    // ("" for none); status: the refusal's status (429 or 503).
    BusyHttpServer(int refusals, const std::string& retryAfter, int status = 429);
    ~BusyHttpServer() override;
    std::filesystem::path Root() const { return Folder() / "root"; }
    std::string Log() const { return OutputLog(); }
};

class TinyProxy : public ServerProcess {
public:
    // extraConfig: more tinyproxy configuration lines (e.g. "ConnectPort 443\n" to refuse tunnels
    // to any other port).
    explicit TinyProxy(const std::string& extraConfig = "");
    ~TinyProxy() override;
    std::string Log() const;
};

struct VsftpdOptions {
    bool user = true;  // also a user with a password (when the machine allows it)
    std::string userName = "plover";
    std::string password = "secret";
    uint32_t anonMaxRate = 0;  // bytes per second per anonymous connection; 0: no limit
};

class VsftpdServer : public ServerProcess {
public:
    explicit VsftpdServer(VsftpdOptions options = {});
    ~VsftpdServer() override;
    // The anonymous root (pub/ inside it is created empty) and the user's login folder.
    std::filesystem::path Root() const { return Folder() / "root"; }
    std::filesystem::path Home() const { return Folder() / "home"; }
    bool HasUser() const { return hasUser_; }
    // "ftp://127.0.0.1:PORT" followed by path; with a login when user is not empty.
    std::string FtpUrl(const std::string& path, const std::string& user = "", const std::string& password = "") const;
    std::string Log() const;
    const VsftpdOptions& Options() const { return options_; }

private:
    VsftpdOptions options_;
    bool hasUser_ = false;
};

class SquidProxy : public ServerProcess {
public:
    SquidProxy();
    ~SquidProxy() override;
    std::string Log() const;
};

class FtpProxy : public ServerProcess {
public:
    FtpProxy();
    ~FtpProxy() override;
    std::string Log() const;
};

}  // namespace plover::test
