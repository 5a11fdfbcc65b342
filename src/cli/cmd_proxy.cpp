// plover proxy show | set http | set ftp | import | check: the HTTP and FTP proxy settings.
// "set" follows the rules of the proxy options page and refuses with its messages; "import" takes
// the system's proxy setting (http_proxy and ftp_proxy of the environment, or a "ProxyServer"
// string such as "host:3128" or "http=host:80;ftp=other:21"); "check" tries to connect to the
// HTTP proxy. Changes are stored when the command ends.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/json_lines.h"
#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "net/proxy_check.h"
#include "net/proxy_import.h"
#include "net/proxy_options.h"

namespace plover::cli {
namespace {

const char* FtpModeText(uint32_t mode) {
    switch (mode) {
        case FTP_PROXY_DIRECT: return "direct";
        case FTP_PROXY_VIA_HTTP: return "through the HTTP proxy";
        case FTP_PROXY_FTP: return "through the FTP proxy";
        default: return "unknown";
    }
}

std::string AddressText(const SProxyInfo& p) {
    if (p.csAddr.empty() && p.iPort == -1) return "none";
    return (p.csAddr.empty() ? "(no address)" : p.csAddr) + ":" + (p.iPort == -1 ? "(no port)" : std::to_string(p.iPort));
}

void Print(bool json) {
    SHTTPProxyInfo http = GetHTTPProxy();
    SFTPProxyInfo ftp = GetFTPProxy();
    if (json) {
        nlohmann::json out = {{"type", "proxy"}};
        out["http"] = {{"address", http.csAddr}, {"port", http.iPort}, {"use", http.bUse != 0}, {"inUse", http.IsValid()}};
        out["ftp"] = {{"mode", ftp.eMode},       {"address", ftp.csAddr},        {"port", ftp.iPort},
                      {"passive", ftp.bPasv != 0}, {"user", ftp.csUserName}, {"inUse", ftp.IsValid()}};
        WriteJsonLine(std::cout, out);
        return;
    }
    std::cout << "HTTP proxy: " << AddressText(http) << (http.IsValid() ? " (in use)" : " (not used)") << "\n";
    std::cout << "FTP mode: " << ftp.eMode << " (" << FtpModeText(ftp.eMode) << ")\n";
    std::cout << "FTP proxy: " << AddressText(ftp) << (ftp.bPasv ? ", passive" : ", active");
    if (!ftp.csUserName.empty()) std::cout << ", user " << ftp.csUserName;
    std::cout << "\n";
}

void Refuse(CliContext& ctx, const std::string& message) {
    Complain() << message << "\n";
    ctx.exitCode = 1;
}

// Applies the page and stores the result; the page's own message on refusal.
void Apply(CliContext& ctx, CCliApp& app, const SProxyPage& page) {
    std::string message;
    if (!ApplyProxyPage(page, message)) return Refuse(ctx, message);
    if (app.Stop()) Print(false);
}

struct SHttpArgs {
    std::string address;
    int64_t port = -1;
    bool off = false;
};

void SetHttp(CliContext& ctx, const SHttpArgs& args, bool addressGiven) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    SProxyPage page = ProxyPageFromCurrent();
    page.bHttpUse = !args.off;
    if (addressGiven || !args.off) {
        page.httpAddr = args.address;
        page.httpPort = args.port;
    }
    Apply(ctx, app, page);
}

struct SFtpArgs {
    uint32_t mode = 0;
    std::string address;
    int64_t port = -1;
    bool passive = false;
    std::string user, password;
};

void SetFtp(CliContext& ctx, const SFtpArgs& args) {
    CCliApp app(ctx);
    if (!app.Start()) return;
    SProxyPage page = ProxyPageFromCurrent();
    page.ftpMode = args.mode;
    page.ftpAddr = args.address;
    page.ftpPort = args.port;
    page.bPasv = args.passive;
    page.ftpUser = args.user;
    page.ftpPassword = args.password;
    Apply(ctx, app, page);
}

void Import(CliContext& ctx, const std::string& given) {
    std::string value = given.empty() ? ProxyServerFromEnvironment() : given;
    if (value.empty()) return Refuse(ctx, "no proxy setting found (http_proxy and ftp_proxy are not set)");
    SProxyImport found = ImportProxyServer(value);
    if (!found.http.IsValid() && !found.ftp.SProxyInfo::IsValid())
        return Refuse(ctx, "no proxy address and port in \"" + value + "\"");
    CCliApp app(ctx);
    if (!app.Start()) return;
    // The system's setting replaces the addresses and how FTP goes: what it does not name is not
    // used. The passive flag and the FTP proxy's login are not part of it and stay.
    SetHTTPProxy(found.http);
    SetFTPProxy(MergeImportedFtp(GetFTPProxy(), found.ftp));
    if (app.Stop()) Print(false);
}

void Check(CliContext& ctx, std::string address, int64_t port, int timeoutSeconds) {
    if (address.empty()) {
        CCliApp app(ctx);
        if (!app.Start()) return;
        SHTTPProxyInfo http = GetHTTPProxy();
        if (!http.IsValid()) return Refuse(ctx, kMsgHTTPProxyNotSpecified);
        address = http.csAddr;
        port = http.iPort;
    }
    if (port < 0 || port > 65535) return Refuse(ctx, kMsgHTTPProxyInvalid);
    CMessageQueueWindow window;
    CProxyCheck check;
    if (!check.Start(address, int32_t(port), &window)) return Refuse(ctx, ProxyCheckResultText(PROXY_CHECK_NO_SOCKET));
    uint32_t result = PROXY_CHECK_CANCELLED;
    for (;;) {
        auto msg = window.GetMessage(timeoutSeconds * 1000);
        if (!msg) {
            check.Cancel();
            break;
        }
        if (msg->msg == WM_PV_PROXY_CHECK_STATUS) std::cout << reinterpret_cast<const char*>(msg->wp) << "\n";
        if (msg->msg == WM_PV_PROXY_CHECK_RESULT) {
            result = uint32_t(msg->wp);
            break;
        }
    }
    std::cout << ProxyCheckResultText(result) << "\n";
    if (result != PROXY_CHECK_CONNECTED) ctx.exitCode = 1;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto* cmd = app.add_subcommand("proxy", "Show, set, import and check the HTTP and FTP proxies");
    cmd->require_subcommand(1);

    auto json = std::make_shared<bool>(false);
    auto* show = cmd->add_subcommand("show", "The proxy settings in force");
    show->add_flag("--json", *json, "As one JSON line");
    show->callback([&ctx, json] {
        CCliApp session(ctx);
        if (session.Start()) Print(*json);
    });

    auto* set = cmd->add_subcommand("set", "Change the HTTP or the FTP proxy");
    set->require_subcommand(1);
    auto http = std::make_shared<SHttpArgs>();
    auto* setHttp = set->add_subcommand("http", "The HTTP proxy: ADDRESS PORT, or --off to stop using it");
    auto* addr = setHttp->add_option("ADDRESS", http->address, "Host name or dotted address");
    setHttp->add_option("PORT", http->port, "Port, 0 to 65535");
    setHttp->add_flag("--off", http->off, "Keep the address but do not use the proxy");
    setHttp->callback([&ctx, http, addr] { SetHttp(ctx, *http, addr->count() > 0); });

    auto ftp = std::make_shared<SFtpArgs>();
    auto* setFtp = set->add_subcommand("ftp", "How FTP connects: --mode 0 directly, 1 through the HTTP proxy, "
                                              "2 through the FTP proxy ADDRESS PORT");
    setFtp->add_option("--mode", ftp->mode, "0, 1 or 2")->required()->check(CLI::Range(0, 2));
    setFtp->add_option("ADDRESS", ftp->address, "FTP proxy host name or dotted address");
    setFtp->add_option("PORT", ftp->port, "FTP proxy port, 0 to 65535");
    setFtp->add_flag("--passive", ftp->passive, "Passive data connections");
    setFtp->add_option("--user", ftp->user, "User name for the FTP proxy");
    setFtp->add_option("--password", ftp->password, "Password for the FTP proxy (stored as plain text)");
    setFtp->callback([&ctx, ftp] { SetFtp(ctx, *ftp); });

    auto value = std::make_shared<std::string>();
    auto* import = cmd->add_subcommand("import", "Take the system's proxy setting (http_proxy, ftp_proxy, or STRING)");
    import->add_option("STRING", *value, "A proxy string: \"host:port\" or \"http=host:port;ftp=host:port\"");
    import->callback([&ctx, value] { Import(ctx, *value); });

    auto checkAddr = std::make_shared<std::string>();
    auto checkPort = std::make_shared<int64_t>(-1);
    auto timeout = std::make_shared<int>(60);
    auto* check = cmd->add_subcommand("check", "Try to connect to the HTTP proxy (or to ADDRESS PORT)");
    check->add_option("ADDRESS", *checkAddr, "Proxy host name or dotted address (default: the HTTP proxy in use)");
    check->add_option("PORT", *checkPort, "Proxy port");
    check->add_option("--timeout", *timeout, "Give up after this many seconds (default 60)")->check(CLI::PositiveNumber);
    check->callback([&ctx, checkAddr, checkPort, timeout] { Check(ctx, *checkAddr, *checkPort, *timeout); });
}

CommandRegistrar registrar("proxy", Setup);

}  // namespace
}  // namespace plover::cli
