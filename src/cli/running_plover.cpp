#include <signal.h>

#include <atomic>
#include <fstream>

#include "cli/app_session.h"
#include "cli/remote_session.h"

namespace plover::cli {
namespace {

constexpr const char* kAddressFile = "ui-address";

std::atomic<bool> interrupted{false};
void OnSignal(int) { interrupted = true; }

}  // namespace

void CatchInterrupt() {
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
}

bool Interrupted() { return interrupted; }

bool ParseRunningAddress(const std::string& url, SRunningPlover& out) {
    const std::string scheme = "http://";
    if (url.rfind(scheme, 0) != 0) return false;
    size_t slash = url.find('/', scheme.size());
    size_t colon = url.rfind(':', slash);
    size_t token = url.find("?token=", slash == std::string::npos ? 0 : slash);
    if (slash == std::string::npos || colon == std::string::npos || colon < scheme.size() || token == std::string::npos)
        return false;
    out.host = url.substr(scheme.size(), colon - scheme.size());
    if (out.host.size() > 2 && out.host.front() == '[' && out.host.back() == ']')
        out.host = out.host.substr(1, out.host.size() - 2);
    std::string port = url.substr(colon + 1, slash - colon - 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    out.port = std::stoi(port);
    out.token = url.substr(token + 7);
    while (!out.token.empty() && (out.token.back() == '\n' || out.token.back() == '\r')) out.token.pop_back();
    return !out.host.empty() && out.port > 0 && out.port < 65536 && !out.token.empty();
}

std::optional<SRunningPlover> ReadRunningAddress(const CliContext& ctx) {
    std::ifstream in(HomesOf(ctx).settingsDir / kAddressFile);
    std::string url;
    SRunningPlover p;
    if (!in || !std::getline(in, url) || !ParseRunningAddress(url, p)) return std::nullopt;
    return p;
}

}  // namespace plover::cli
