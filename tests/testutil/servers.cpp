#include "testutil/servers.h"

#include <arpa/inet.h>
#include <crypt.h>
#include <fcntl.h>
#include <pwd.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace plover::test {
namespace {

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

bool Accepts(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a = Loopback(port);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// Whether process `pid` itself holds the listening socket on 127.0.0.1:port (and not some other
// test's server that took the same port a moment earlier).
bool ListensOn(pid_t pid, uint16_t port) {
    FILE* f = std::fopen("/proc/net/tcp", "r");
    if (!f) return true;  // cannot tell: trust the connect
    char line[512];
    unsigned long inode = 0;
    char want[32];
    std::snprintf(want, sizeof want, "0100007F:%04X", port);
    while (std::fgets(line, sizeof line, f)) {
        char local[64], remote[64];
        unsigned state = 0;
        unsigned long ino = 0;
        if (std::sscanf(line, " %*d: %63s %63s %x %*s %*s %*s %*s %*s %lu", local, remote, &state, &ino) == 4 &&
            state == 0x0A && std::string(local) == want)
            inode = ino;
    }
    std::fclose(f);
    if (inode == 0) return false;
    std::string target = "socket:[" + std::to_string(inode) + "]";
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code ec2;
        if (std::filesystem::read_symlink(fd.path(), ec2).string() == target) return true;
    }
    return false;
}

// Waits for the child to end, up to `ms`; true when it has ended (and was reaped).
bool Reap(pid_t pid, int ms) {
    for (int waited = 0; waited <= ms; waited += 10) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

uint16_t FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket() failed");
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(a.sin_port);
}

ServerProcess::~ServerProcess() { Stop(); }

std::string ServerProcess::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string ServerProcess::OutputLog() const { return ReadFile(Folder() / outName_); }

bool ServerProcess::Launch(const std::string& name, const std::vector<std::string>& argv, uint16_t port) {
    outName_ = name + ".out";
    std::string out = (Folder() / outName_).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error(argv[0] + ": cannot start (" + std::to_string(rc) + ")");
    pid_ = pid;
    port_ = port;
    // Up to 20 s: a loaded 2-core machine running ASan builds can be slow to start a server.
    for (int waited = 0; waited < 20000; waited += 20) {
        if (Accepts(port) && ListensOn(pid, port)) return true;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {  // exited early: port taken or bad config
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void ServerProcess::Fail(const std::string& name) const {
    throw std::runtime_error(name + " did not start; its output:\n" + OutputLog());
}

void ServerProcess::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!Reap(pid_, 5000)) {
        kill(pid_, SIGKILL);
        Reap(pid_, 5000);
    }
    pid_ = -1;
}

// nginx runs as one process (master_process off), so it never changes user and the temp folder
// (mode 0700) stays readable by it; every path nginx would otherwise take from its build-time
// defaults is set to the temp folder.
NginxServer::NginxServer(NginxOptions options) : options_(std::move(options)) {
    std::filesystem::create_directories(Root() / "auth");
    WriteFile(Folder() / "htpasswd", options_.user + ":{PLAIN}" + options_.password + "\n");
    std::string dir = Folder().string();
    bool tls = !options_.tlsCertificate.empty() && !options_.tlsKey.empty();
    std::string tlsLines = tls ? "    ssl_certificate " + options_.tlsCertificate + ";\n    ssl_certificate_key " +
                                     options_.tlsKey + ";\n    ssl_protocols TLSv1.2 TLSv1.3;\n"
                               : std::string();
    Start("nginx", [&](uint16_t port) {
        std::string conf =
            "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + dir + "/nginx.pid;\n"
            "error_log " + dir + "/error.log warn;\n"
            "events { worker_connections 256; }\n"
            "http {\n"
            "  default_type application/octet-stream;\n"
            "  types { text/html html htm; image/jpeg jpg jpeg; image/png png; text/plain txt; }\n"
            "  log_format plover '$request_method $request_uri $status $http_range $body_bytes_sent';\n"
            "  access_log " + dir + "/access.log plover;\n"
            "  log_format conns '$connection $connection_requests $request_uri';\n"
            "  access_log " + dir + "/connections.log conns;\n"
            "  client_body_temp_path " + dir + "/body;\n  proxy_temp_path " + dir + "/proxy;\n"
            "  fastcgi_temp_path " + dir + "/fastcgi;\n  uwsgi_temp_path " + dir + "/uwsgi;\n"
            "  scgi_temp_path " + dir + "/scgi;\n"
            "  sendfile on;\n  " + options_.keepAlive + "\n"
            "  server {\n"
            "    listen 127.0.0.1:" + std::to_string(port) + (tls ? " ssl" : "") + ";\n" + tlsLines +
            "    server_name localhost;\n"
            "    root " + Root().string() + ";\n"
            "    location /auth/ { auth_basic \"plover\"; auth_basic_user_file " + dir + "/htpasswd; }\n"
            "    location /r301/ { rewrite ^/r301/(.*)$ /$1 permanent; }\n"
            "    location /r302/ { absolute_redirect off; rewrite ^/r302/(.*)$ /$1 redirect; }\n"
            "    location /forbidden/ { return 403; }\n"
            "    location /busy/ { return 503; }\n"
            "    location /slow/ { rewrite ^/slow/(.*)$ /$1 break; limit_rate " +
            std::to_string(options_.limitRate) + "; }\n" + options_.extraLocations +
            "  }\n"
            "}\n";
        WriteFile(Folder() / "nginx.conf", conf);
        return std::vector<std::string>{"nginx", "-p", dir, "-c", dir + "/nginx.conf", "-e",
                                        dir + "/error.log"};
    });
}

NginxServer::~NginxServer() { Stop(); }

std::string NginxServer::AccessLog() const { return ReadFile(Folder() / "access.log"); }

int NginxServer::RequestCount(const std::string& uri) const {
    std::istringstream log(AccessLog());
    std::string method, path, rest;
    int n = 0;
    while (log >> method >> path && std::getline(log, rest)) n += path == uri;
    return n;
}
std::string NginxServer::ConnectionLog() const { return ReadFile(Folder() / "connections.log"); }

int NginxServer::ConnectionsUsed() const {
    std::istringstream log(ConnectionLog());
    std::set<std::string> connections;
    std::string connection, rest;
    while (log >> connection && std::getline(log, rest)) connections.insert(connection);
    return int(connections.size());
}

int NginxServer::RequestsLogged() const {
    std::istringstream log(ConnectionLog());
    int n = 0;
    for (std::string line; std::getline(log, line);) n += !line.empty();
    return n;
}

std::string NginxServer::ErrorLog() const { return ReadFile(Folder() / "error.log"); }
std::string NginxServer::HttpsUrl(const std::string& path, const std::string& host) const {
    return "https://" + host + ":" + std::to_string(Port()) + path;
}

PythonHttpServer::PythonHttpServer() {
    std::filesystem::create_directories(Root());
    Start("python-http", [&](uint16_t port) {
        return std::vector<std::string>{"python3", "-m", "http.server", "--bind", "127.0.0.1",
                                        "--directory", Root().string(), std::to_string(port)};
    });
}

PythonHttpServer::~PythonHttpServer() { Stop(); }

BusyHttpServer::BusyHttpServer(int refusals, const std::string& retryAfter, int status) {
    std::filesystem::create_directories(Root());
    WriteFile(Folder() / "busy.py", R"(import http.server, os, sys
root, port, refusals, retry_after, status = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
asked = {}
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        asked[self.path] = asked.get(self.path, 0) + 1
        path = os.path.join(root, self.path.split('?')[0].lstrip('/'))
        if asked[self.path] <= refusals:
            code, body = status, b'busy'
        elif os.path.isfile(path):
            code, body = 200, open(path, 'rb').read()
        else:
            code, body = 404, b'missing'
        self.send_response(code)
        if code == status and retry_after:
            self.send_header('Retry-After', retry_after)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        print('GET', self.path, code, file=sys.stderr, flush=True)
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(('127.0.0.1', port), Handler).serve_forever()
)");
    Start("busy-http", [&](uint16_t port) {
        return std::vector<std::string>{"python3",        (Folder() / "busy.py").string(), Root().string(),
                                        std::to_string(port), std::to_string(refusals),  retryAfter,
                                        std::to_string(status)};
    });
}

BusyHttpServer::~BusyHttpServer() { Stop(); }

TinyProxy::TinyProxy(const std::string& extraConfig) {
    std::string dir = Folder().string();
    Start("tinyproxy", [&](uint16_t port) {
        std::string conf = "Port " + std::to_string(port) +
                           "\nListen 127.0.0.1\nTimeout 60\nMaxClients 64\n"
                           "LogFile \"" + dir + "/tinyproxy.log\"\nLogLevel Info\n"
                           "PidFile \"" + dir + "/tinyproxy.pid\"\nAllow 127.0.0.1\n" + extraConfig;
        if (geteuid() == 0) conf += "User root\nGroup root\n";
        WriteFile(Folder() / "tinyproxy.conf", conf);
        return std::vector<std::string>{"tinyproxy", "-d", "-c", dir + "/tinyproxy.conf"};
    });
}

TinyProxy::~TinyProxy() { Stop(); }

std::string TinyProxy::Log() const { return ReadFile(Folder() / "tinyproxy.log"); }

// vsftpd ---------------------------------------------------------------------------------------

namespace {

// Whether this process may give a child its own mount namespace (root, and not forbidden).
bool CanUnshareMounts() {
    static const bool can = std::system("unshare --mount true >/dev/null 2>&1") == 0;
    return can;
}

std::string ShadowHash(const std::string& password) {
    crypt_data data{};
    const char* hash = crypt_r(password.c_str(), "$6$plovertest$", &data);
    return hash && hash[0] != '*' ? hash : "";
}

// A copy of a system file with one line added.
void CopyWithLine(const std::string& from, const std::filesystem::path& to, const std::string& line, mode_t mode) {
    std::string text = ReadFile(from);
    if (!text.empty() && text.back() != '\n') text += '\n';
    WriteFile(to, text + line + "\n");
    chmod(to.c_str(), mode);
}

}  // namespace

// vsftpd drops to the "ftp" account for anonymous sessions and to the test user's (which shares
// it) for logged-in ones, so the folders it serves are world-readable; the temp folder itself is
// opened up for that (it holds nothing else).
VsftpdServer::VsftpdServer(VsftpdOptions options) : options_(std::move(options)) {
    namespace fs = std::filesystem;
    std::string dir = Folder().string();
    fs::create_directories(Root() / "pub");
    fs::create_directories(Home());
    fs::create_directories(Folder() / "empty");
    for (const fs::path& p : {Folder(), Root(), Root() / "pub", Home(), Folder() / "empty"})
        fs::permissions(p, fs::perms(0755));
    struct passwd* ftp = getpwnam("ftp");
    hasUser_ = options_.user && ftp && CanUnshareMounts() && !ShadowHash(options_.password).empty();
    std::string mounts;
    if (hasUser_) {
        // The user exists only inside vsftpd's mount namespace.
        CopyWithLine("/etc/passwd", Folder() / "passwd",
                     options_.userName + ":x:" + std::to_string(ftp->pw_uid) + ":" + std::to_string(ftp->pw_gid) +
                         "::" + Home().string() + ":/bin/sh",
                     0644);
        CopyWithLine("/etc/shadow", Folder() / "shadow",
                     options_.userName + ":" + ShadowHash(options_.password) + ":19000:0:99999:7:::", 0600);
        WriteFile(Folder() / "pam", "auth required pam_unix.so\naccount required pam_permit.so\n"
                                    "session required pam_permit.so\n");
        mounts = "mount --bind " + dir + "/pam /etc/pam.d/vsftpd && mount --bind " + dir +
                 "/passwd /etc/passwd && mount --bind " + dir + "/shadow /etc/shadow && ";
    }
    Start("vsftpd", [&](uint16_t port) {
        std::string conf =
            "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(port) +
            "\nbackground=NO\nanonymous_enable=YES\nanon_root=" + Root().string() +
            "\nftp_username=ftp\nwrite_enable=NO\nsecure_chroot_dir=" + dir + "/empty" +
            "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nconnect_from_port_20=NO" +
            "\npasv_enable=YES\nport_enable=YES\ndelay_failed_login=0\nmax_clients=0\nmax_per_ip=0" +
            "\nxferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\nvsftpd_log_file=" + dir +
            "/vsftpd.log\nanon_max_rate=" + std::to_string(options_.anonMaxRate) +
            "\nlocal_enable=" + (hasUser_ ? "YES" : "NO") + "\nlocal_root=" + Home().string() +
            "\npam_service_name=vsftpd\n";
        WriteFile(Folder() / "vsftpd.conf", conf);
        if (!hasUser_) return std::vector<std::string>{"vsftpd", dir + "/vsftpd.conf"};
        return std::vector<std::string>{"unshare", "--mount", "--propagation", "private", "sh", "-c",
                                        mounts + "exec vsftpd " + dir + "/vsftpd.conf"};
    });
}

VsftpdServer::~VsftpdServer() { Stop(); }

std::string VsftpdServer::FtpUrl(const std::string& path, const std::string& user, const std::string& password) const {
    std::string login = user.empty() ? "" : user + (password.empty() ? "" : ":" + password) + "@";
    return "ftp://" + login + "127.0.0.1:" + std::to_string(Port()) + path;
}

std::string VsftpdServer::Log() const { return ReadFile(Folder() / "vsftpd.log"); }

// squid ----------------------------------------------------------------------------------------

// squid will not run as root: it becomes its own account ("proxy"), which must be able to write
// its logs in the temp folder.
SquidProxy::SquidProxy() {
    std::string dir = Folder().string();
    std::filesystem::permissions(Folder(), std::filesystem::perms::all);
    Start("squid", [&](uint16_t port) {
        std::string conf = "http_port 127.0.0.1:" + std::to_string(port) +
                           "\nvisible_hostname plover-test\npid_filename " + dir + "/squid.pid" +
                           "\ncache_log " + dir + "/cache.log\naccess_log stdio:" + dir + "/access.log" +
                           "\ncache_store_log none\ncoredump_dir " + dir + "\ncache deny all" +
                           "\nhttp_access allow localhost\nhttp_access deny all\nshutdown_lifetime 0 seconds" +
                           "\npinger_enable off\nftp_passive on\nftp_user plover@example.com\n";
        WriteFile(Folder() / "squid.conf", conf);
        return std::vector<std::string>{"squid", "-N", "-f", dir + "/squid.conf"};
    });
}

SquidProxy::~SquidProxy() { Stop(); }

std::string SquidProxy::Log() const { return ReadFile(Folder() / "access.log"); }

// ftp-proxy -------------------------------------------------------------------------------------

FtpProxy::FtpProxy() {
    std::string dir = Folder().string();
    Start("ftp-proxy", [&](uint16_t port) {
        std::string conf = "[-Global-]\nListen 127.0.0.1\nPort " + std::to_string(port) +
                           "\nServerType standalone\nAllowMagicUser yes\nDestinationAddress 127.0.0.1" +
                           "\nUserNameRule ^[[:alnum:]]+(@[[:alnum:].-]+(:[0-9]+)?)?$" +
                           "\nLogDestination " + dir + "/ftp-proxy.log\nLogLevel INF" +
                           "\nPidFile " + dir + "/ftp-proxy.pid\n";
        WriteFile(Folder() / "ftp-proxy.conf", conf);
        return std::vector<std::string>{"ftp-proxy", "-d", "-n", "-f", dir + "/ftp-proxy.conf"};
    });
}

FtpProxy::~FtpProxy() { Stop(); }

std::string FtpProxy::Log() const { return ReadFile(Folder() / "ftp-proxy.log"); }

}  // namespace plover::test
