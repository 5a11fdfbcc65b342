// `plover basket ...` through the running Plover: its basket API for the list and the changes, its
// jobs for a drop, its move job for a move; printed by the same functions as a run alone.
#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <optional>
#include <thread>

#include "baskets/basket.h"
#include "baskets/move_files.h"
#include "cli/basket_lines.h"
#include "cli/cli_kit.h"
#include "cli/remote_client.h"
#include "cli/remote_commands.h"

namespace plover::cli {
namespace {

constexpr auto kPollEvery = std::chrono::milliseconds(250);

int NoAnswer() { return Refuse(kExitFailed, "the running Plover does not answer"); }

// The running Plover's baskets; false (said why) when it does not answer.
bool Baskets(CPloverClient& client, std::vector<SBasketRow>& out) {
    nlohmann::json answer;
    if (client.Get("/api/baskets", answer) != 200) {
        NoAnswer();
        return false;
    }
    for (const nlohmann::json& b : answer.value("baskets", nlohmann::json::array()))
        out.push_back({b.value("name", ""), b.value("folder", ""), b.value("icon", ""), b.value("id", 0),
                       b.value("client", 0), b.value("dispatch", 0u)});
    return true;
}

// The basket of that name (any case), or none (said why).
std::optional<SBasketRow> FindBasket(CPloverClient& client, const std::string& name) {
    std::vector<SBasketRow> all;
    if (!Baskets(client, all)) return std::nullopt;
    for (const SBasketRow& b : all)
        if (strcasecmp(b.name.c_str(), name.c_str()) == 0) return b;
    SayNoBasket(name);
    return std::nullopt;
}

// The answer to an add or an edit, said as a run alone says it.
int Stored(int status, const nlohmann::json& answer, const std::string& folder) {
    if (status == 200) {
        SayCollectsInto(answer.value("name", ""), answer.value("folder", ""));
        return kExitOk;
    }
    if (status == 0) return NoAnswer();
    if (answer.contains("sameName")) SayNameTaken(answer.value("sameName", ""));
    else if (status == 422) std::cerr << RefusalLine(answer.value("error", ""), folder) << "\n";
    else Complain() << answer.value("error", "refused") << "\n";
    return kExitFailed;
}

const char* AnswerText(EConflictAnswer a) {
    switch (a) {
        case EConflictAnswer::Overwrite: return kAnswerOverwrite;
        case EConflictAnswer::OverwriteAll: return kAnswerOverwriteAll;
        case EConflictAnswer::SkipAll: return kAnswerSkipAll;
        default: return kAnswerSkip;
    }
}

}  // namespace

int RunBasketListThrough(const SRunningPlover& plover, bool json) {
    CPloverClient client(plover);
    std::vector<SBasketRow> all;
    if (!Baskets(client, all)) return kExitFailed;
    for (const SBasketRow& b : all) PrintBasketRow(std::cout, b, json);
    if (!json && all.empty()) SayNoBaskets();
    return kExitOk;
}

int RunBasketShowThrough(const SRunningPlover& plover, const std::string& name, bool json) {
    CPloverClient client(plover);
    auto b = FindBasket(client, name);
    if (!b) return kExitFailed;
    PrintBasketShow(std::cout, *b, json);
    return kExitOk;
}

int RunBasketAddThrough(const SRunningPlover& plover, const std::string& name, const std::string& folder, bool perServer) {
    CPloverClient client(plover);
    nlohmann::json answer;
    int status = client.Post("/api/baskets",
                             {{"name", name}, {"folder", folder}, {"dispatch", perServer ? DISPATCH_PER_SERVER : DISPATCH_ROOT}},
                             answer);
    return Stored(status, answer, folder);
}

int RunBasketEditThrough(const SRunningPlover& plover, const SBasketEditOptions& o) {
    CPloverClient client(plover);
    auto b = FindBasket(client, o.basket);
    if (!b) return kExitFailed;
    std::string folder = o.folder ? AbsoluteFolder(*o.folder) : b->folder;
    nlohmann::json body = {{"name", o.name.value_or(b->name)}, {"folder", folder}}, answer;
    if (o.perServer || o.rootFolder) body["dispatch"] = o.perServer ? DISPATCH_PER_SERVER : DISPATCH_ROOT;
    int status = client.Post("/api/baskets/" + std::to_string(b->id) + "/edit", body, answer);
    return Stored(status, answer, folder);
}

int RunBasketRemoveThrough(const SRunningPlover& plover, const std::string& name, bool yes) {
    CPloverClient client(plover);
    auto b = FindBasket(client, name);
    if (!b || !ConfirmBasketDelete(yes)) return kExitFailed;
    nlohmann::json answer;
    int status = client.Post("/api/baskets/" + std::to_string(b->id) + "/delete", nlohmann::json::object(), answer);
    if (status == 0) return NoAnswer();
    if (status != 200) return Refuse(kExitFailed, answer.value("error", "refused"));
    SayRemoved(name, b->folder);
    return kExitOk;
}

int RunBasketDropThrough(const SRunningPlover& plover, const std::string& name, const std::vector<std::string>& urls,
                         const std::string& referrer, bool json, bool quiet) {
    return RunJobThrough(plover, "drop", {{"basket", name}, {"urls", urls}, {"referrer", referrer}, {"json", json}}, quiet,
                         "the drop");
}

int RunBasketMoveThrough(const SRunningPlover& plover, const std::vector<std::string>& files, const std::string& name,
                         const std::string& onConflict) {
    CPloverClient client(plover);
    auto b = FindBasket(client, name);
    if (!b) return kExitFailed;
    nlohmann::json answer;
    int status = client.Post("/api/baskets/move", {{"files", files}, {"folder", b->folder}, {"anyFiles", true}}, answer);
    if (status == 0) return NoAnswer();
    if (status != 200) return Refuse(kExitFailed, answer.value("error", "refused"));
    const uint64_t job = answer.value("job", uint64_t(0));
    const std::string path = "/api/moves/" + std::to_string(job);
    CConflictQuestion question(onConflict);
    CProgressLine progress(STDERR_FILENO);
    progress.DelayPlain();
    CatchInterrupt();
    bool cancelled = false;
    size_t messagesSaid = 0;
    std::string asked;  // the conflict answered last, until the job moves on
    nlohmann::json state, ignored;
    for (;;) {
        nlohmann::json moves;
        if (client.Get("/api/moves", moves) != 200) return Refuse(kExitFailed, "the running Plover has stopped");
        state = moves.value("job", nlohmann::json::object());
        if (!state.is_object() || state.value("id", uint64_t(0)) != job)
            return Refuse(kExitFailed, "the running Plover started another move; this one's report is lost");
        const nlohmann::json messages = state.value("messages", nlohmann::json::array());
        for (; messagesSaid < messages.size(); ++messagesSaid) {
            progress.Clear();
            std::cerr << messages[messagesSaid].get<std::string>() << "\n";
        }
        const std::string phase = state.value("phase", "");
        if (phase == "done") break;
        if (Interrupted() && !cancelled) {
            cancelled = true;
            client.Post(path + "/cancel", nlohmann::json::object(), ignored);
        }
        if (phase == "conflict" && state.contains("conflict")) {
            std::string source = state["conflict"].value("source", ""), target = state["conflict"].value("target", "");
            if (asked != source + "\n" + target) {
                asked = source + "\n" + target;
                progress.Clear();
                client.Post(path + "/answer", {{"answer", AnswerText(question.TargetExists(source, target))}}, ignored);
            }
        } else {
            asked.clear();
            if (phase == "moving") progress.Show(MoveProgressText(state.value("doneKiB", 0u), state.value("totalKiB", 0u)));
        }
        std::this_thread::sleep_for(kPollEvery);
    }
    progress.Clear();
    SMoveReport report;
    for (const nlohmann::json& m : state.value("movedFiles", nlohmann::json::array()))
        report.moved.emplace_back(m.at(0).get<std::string>(), m.at(1).get<std::string>());
    report.skipped = state.value("skippedFiles", std::vector<std::string>());
    report.errors = state.value("errors", std::vector<std::string>());
    PrintMoveReport(report);
    return report.errors.empty() ? kExitOk : kExitFailed;
}

}  // namespace plover::cli
