#include "cli/fetch_options.h"

#include <cstdlib>
#include <iostream>

#include "app/settings.h"
#include "cli/cli_kit.h"
#include "download/run_request_options.h"
#include "net/proxy_env.h"

namespace plover::cli {
namespace {

// The proxy of this run as the current records: http and https through it, ftp too (the HTTP
// proxy fetches ftp:// addresses), or no proxy at all.
void UseProxy(const std::optional<SProxyAddress>& proxy) {
    SHTTPProxyInfo http;
    SFTPProxyInfo ftp = GetFTPProxy();
    if (proxy) {
        http.Set(true, proxy->host.c_str(), proxy->port);
        ftp.eMode = FTP_PROXY_VIA_HTTP;
    } else {
        ftp.eMode = FTP_PROXY_DIRECT;
    }
    SetHTTPProxy(http);
    SetFTPProxy(ftp);
}

}  // namespace

void AddFetchOptions(CLI::App* cmd, SFetchCliOptions& o) {
    cmd->add_flag("-q,--quiet", o.quiet, "No progress lines: only failures and the results");
    cmd->add_option("--limit-rate", o.limitRate, "Receive at most RATE bytes per second in all, this run (200k, 1.5M)")
        ->type_name("RATE");
    cmd->add_option("--header", o.headers, "Send this header line with every request (repeatable)")
        ->type_name("\"NAME: VALUE\"")
        ->allow_extra_args(false);
    cmd->add_option("--proxy", o.proxy, "Fetch through this HTTP proxy, this run (http://HOST:PORT)")->type_name("URL");
    cmd->add_flag("--no-proxy", o.noProxy, "Fetch directly, this run, whatever proxy is stored or in the environment");
}

bool CheckFetchOptions(const SFetchCliOptions& o) {
    if (!o.limitRate.empty() && !ParseRate(o.limitRate)) {
        Complain() << "not a rate: " << o.limitRate << " (bytes per second, with k or M: 200k, 1.5M)\n";
        return false;
    }
    if (!o.proxy.empty() && o.noProxy) {
        Complain() << "--proxy and --no-proxy exclude each other\n";
        return false;
    }
    if (!o.proxy.empty() && !ParseProxyAddress(o.proxy)) {
        Complain() << "not an HTTP proxy address: " << o.proxy << " (http://HOST:PORT)\n";
        return false;
    }
    std::vector<SHeaderLine> lines;
    for (const std::string& text : o.headers) {
        auto line = ParseHeaderLine(text);
        if (!line) {
            Complain() << "not a header line: " << text << " (\"Name: value\")\n";
            return false;
        }
        lines.push_back(*line);
    }
    SetRunHeaderLines(std::move(lines));
    return true;
}

void CRunFetchSettings::Apply(const SFetchCliOptions& o, const std::string& firstAddress) {
    if (auto rate = o.limitRate.empty() ? std::nullopt : ParseRate(o.limitRate)) {
        quotaSaved_ = true;
        for (auto& mode : GetSettings().TrafficModes) {
            quotas_.push_back(mode.dwTransferQuota);
            mode.dwTransferQuota = *rate;
        }
    }
    std::optional<SProxyAddress> proxy;
    bool change = o.noProxy;
    if (!o.proxy.empty()) {
        proxy = ParseProxyAddress(o.proxy);
        change = true;
    } else if (!o.noProxy && !GetHTTPProxy().IsValid() && !GetFTPProxy().IsValid()) {
        proxy = EnvProxyFor(ReadEnvProxies([](const char* name) { return std::getenv(name); }), firstAddress);
        change = proxy.has_value();
    }
    if (!change) return;
    proxySaved_ = true;
    http_ = GetHTTPProxy();
    ftp_ = GetFTPProxy();
    UseProxy(proxy);
}

void CRunFetchSettings::Restore() {
    if (quotaSaved_) {
        size_t i = 0;
        for (auto& mode : GetSettings().TrafficModes)
            if (i < quotas_.size()) mode.dwTransferQuota = quotas_[i++];
        quotaSaved_ = false;
        quotas_.clear();
    }
    if (proxySaved_) {
        SetHTTPProxy(http_);
        SetFTPProxy(ftp_);
        proxySaved_ = false;
    }
}

void WarnFetchOptionsStayHere(const SFetchCliOptions& options, bool verbose) {
    if (options.limitRate.empty() && options.headers.empty() && options.proxy.empty() && !options.noProxy && !verbose)
        return;
    std::cerr << "Note: the running Plover fetches with its own settings; --limit-rate, --header, --proxy, --no-proxy "
                 "and -v apply to a run of this command alone.\n";
}

}  // namespace plover::cli
