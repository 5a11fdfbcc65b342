#include "cli/cli_kit.h"
#include "cli/remote_session.h"

#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

#include "cli/app_session.h"
#include "cli/download_format.h"
#include "cli/terminal.h"

namespace plover::cli {
namespace {

constexpr const char* kAddressFile = "ui-address";
constexpr auto kPollEvery = std::chrono::milliseconds(250);

std::atomic<bool> interrupted{false};
void OnSignal(int) { interrupted = true; }

SProgressLine SnapshotOf(const nlohmann::json& d) {
    SProgressLine s;
    s.name = d.value("name", "");
    s.size = d.value("size", 0u);
    s.downloaded = d.value("downloaded", 0u);
    s.status = d.value("status", "");
    return s;
}

}  // namespace

void CatchInterrupt() {
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
}

bool Interrupted() { return interrupted; }

CPloverClient::CPloverClient(const SRunningPlover& p) : client_(p.host, p.port) {
    client_.set_connection_timeout(std::chrono::seconds(2));
    client_.set_read_timeout(std::chrono::seconds(30));
    client_.set_default_headers({{"Authorization", "Bearer " + p.token}});
}

int CPloverClient::Get(const std::string& path, nlohmann::json& out) { return Take(client_.Get(path), out); }

int CPloverClient::Post(const std::string& path, const nlohmann::json& body, nlohmann::json& out) {
    return Take(client_.Post(path, body.dump(), "application/json"), out);
}

int CPloverClient::Take(const httplib::Result& r, nlohmann::json& out) {
    if (!r) return 0;
    out = nlohmann::json::parse(r->body, nullptr, false);
    if (out.is_discarded()) out = nlohmann::json::object();
    return r->status;
}

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

std::optional<SRunningPlover> FindRunningPlover(const CliContext& ctx) {
    std::ifstream in(HomesOf(ctx).settingsDir / kAddressFile);
    std::string url;
    SRunningPlover p;
    if (!in || !std::getline(in, url) || !ParseRunningAddress(url, p)) return std::nullopt;
    nlohmann::json answer;
    if (CPloverClient(p).Get("/api/windows/main", answer) != 200) return std::nullopt;  // stale: run alone
    return p;
}

int RunGetThrough(const SRunningPlover& plover, const std::vector<std::string>& addresses, const std::string& folder,
                  int priority) {
    CPloverClient client(plover);
    std::map<int, std::string> open;  // download ID -> address
    for (size_t i = 0; i < addresses.size(); i += 1000) {
        nlohmann::json urls = nlohmann::json::array(), answer;
        for (size_t j = i; j < addresses.size() && j < i + 1000; ++j) urls.push_back(addresses[j]);
        int status = client.Post("/api/downloads", {{"urls", urls}, {"folder", folder}, {"priority", priority}}, answer);
        if (status != 200) {
            Complain() << (status ? answer.value("error", "refused") : "the running Plover does not answer")
                      << "\n";
            return 1;
        }
        size_t k = i;
        for (const nlohmann::json& id : answer["added"]) open[id.get<int>()] = addresses[k++];
    }
    std::cerr << "Plover is running: the downloads were added to its list.\n";
    CatchInterrupt();
    bool terminal = StdoutIsTerminal();
    int failed = 0;
    while (!open.empty() && !interrupted) {
        nlohmann::json snapshot;
        if (client.Get("/api/snapshot", snapshot) != 200) {
            Complain() << "the running Plover has stopped\n";
            return 1;
        }
        for (const nlohmann::json& d : snapshot.value("downloads", nlohmann::json::array())) {
            auto it = open.find(d.value("id", -1));
            if (it == open.end() || !(d.value("finished", false) || d.value("failed", false))) continue;
            SProgressLine s = SnapshotOf(d);
            if (d.value("failed", false)) {
                ++failed;
                std::cout << s.name << ": " << s.status << " (" << it->second << ")\n";
            } else {
                std::cout << (terminal ? TerminalLine(s, TerminalColumns() - 1) : PlainLine(s)) << "\n";
            }
            std::cout.flush();
            open.erase(it);
        }
        if (!open.empty()) std::this_thread::sleep_for(kPollEvery);
    }
    if (interrupted) {
        std::cerr << "Interrupted: " << open.size() << (open.size() == 1 ? " download" : " downloads")
                  << " stay in the running Plover's list.\n";
        return 130;
    }
    if (failed) std::cerr << failed << " of " << addresses.size() << " downloads failed.\n";
    return failed ? 1 : 0;
}

int RunJobThrough(const SRunningPlover& plover, const std::string& kind, nlohmann::json body, bool quiet,
                  const std::string& goesOn) {
    CPloverClient client(plover);
    nlohmann::json answer;
    body["colour"] = UseColourOn(STDOUT_FILENO);
    int status = client.Post("/api/jobs/" + kind, body, answer);
    if (status != 200) {
        std::cerr << (status ? answer.value("error", "plover: refused") : "plover: the running Plover does not answer")
                  << "\n";
        return 1;
    }
    std::string path = "/api/jobs/" + std::to_string(answer.value("job", 0));
    CatchInterrupt();
    CProgressLine progress(STDERR_FILENO);
    progress.DelayPlain();
    while (!interrupted) {
        nlohmann::json state;
        if (client.Get(path, state) != 200) {
            progress.Clear();
            return Refuse(kExitFailed, "the running Plover has stopped");
        }
        std::string errors = state.value("errors", "");
        if (!errors.empty()) progress.Clear();
        std::cerr << errors;
        if (state.value("done", false)) {
            progress.Clear();
            std::cout << state.value("summary", "") << std::flush;
            return state.value("exitCode", kExitFailed);
        }
        std::string line = state.value("progress", "");
        if (!line.empty() && !quiet) progress.Show(line);
        std::this_thread::sleep_for(kPollEvery);
    }
    progress.Clear();
    std::cerr << "Interrupted: " << goesOn << " goes on in the running Plover.\n";
    return kExitInterrupted;
}

int RunCollectThrough(const SRunningPlover& plover, const std::string& url, const std::string& basket,
                      const std::string& profile, bool reload, bool json, const nlohmann::json& overrides) {
    return RunJobThrough(
        plover, "collect",
        {{"url", url}, {"basket", basket}, {"profile", profile}, {"reload", reload}, {"json", json}, {"overrides", overrides}},
        false, "the collection");
}

}  // namespace plover::cli
