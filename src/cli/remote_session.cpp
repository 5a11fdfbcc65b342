#include "cli/remote_client.h"

#include <unistd.h>

#include <chrono>
#include <iostream>
#include <map>
#include <thread>

#include "cli/app_session.h"
#include "cli/cli_kit.h"
#include "cli/download_format.h"
#include "cli/terminal.h"

namespace plover::cli {
namespace {

constexpr auto kPollEvery = std::chrono::milliseconds(250);

SProgressLine SnapshotOf(const nlohmann::json& d) {
    SProgressLine s;
    s.name = d.value("name", "");
    s.size = d.value("size", 0u);
    s.downloaded = d.value("downloaded", 0u);
    s.status = d.value("status", "");
    return s;
}

}  // namespace

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

std::optional<SRunningPlover> FindRunningPlover(const CliContext& ctx) {
    std::optional<SRunningPlover> p = ReadRunningAddress(ctx);
    nlohmann::json answer;
    if (!p || CPloverClient(*p).Get("/api/windows/main", answer) != 200) return std::nullopt;  // stale: run alone
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
    while (!open.empty() && !Interrupted()) {
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
    if (Interrupted()) {
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
    while (!Interrupted()) {
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
