#include "cli/collect_job.h"

#include <atomic>
#include <sstream>
#include <thread>

#include "app/settings.h"
#include "baskets/basket.h"
#include "cli/basket_lines.h"
#include "cli/basket_session.h"
#include "cli/scan_command.h"
#include "platform/tick.h"
#include "platform/window.h"
#include "scan/i_scanner.h"
#include "scan/scan_profile.h"
#include "scan/scan_rules.h"

namespace plover::cli {
namespace {
constexpr int kQueueStopped = 3;
constexpr int kWaitMs = 250;
}  // namespace

struct CCollectJobs::SJob {
    std::string url;
    bool json = false, colour = false;
    bool drop = false;  // addresses dropped into the basket: no scan
    CMessageQueueWindow window;
    std::unique_ptr<CBasketSession> session;
    RefPtr<IScanner> scanner;
    std::thread thread;
    std::atomic<bool> stop{false};
    bool scanEnded = false, scanFailed = false, finished = false;

    std::mutex lock;  // guards what the command reads
    std::string progress, errors, summary;
    bool done = false;
    int exitCode = 0;

    void Run();
    void OnMessage(const SWindowMessage& m);
};

void CCollectJobs::SJob::OnMessage(const SWindowMessage& m) {
    if (session->OnMessage(m)) return;
    switch (m.msg) {
        case WM_SCAN_ELEMENT: {
            std::unique_ptr<SScanElement> e(reinterpret_cast<SScanElement*>(m.wp));
            if (finished) return;
            if (e->GetType() != SCAN_PAGE_LINK) {
                session->Add({e->url, e->pageUrl});
            } else {
                std::string format = OtherPictureFormat(e->url);
                if (!format.empty()) session->NoteOtherFormat(format);
            }
            return;
        }
        case WM_SCAN_FAILED: {
            scanFailed = true;
            std::lock_guard g(lock);
            errors += "plover: " + scanner->GetErrorText() + " (" + url + ")\n";
            return;
        }
        case WM_SCAN_WAITING: {
            auto download = RefPtr<IDownload>::Adopt(reinterpret_cast<IDownload*>(m.wp));
            if (download) {
                std::lock_guard g(lock);
                errors += "plover: " + download->GetServer() + " asks for a login; store one with plover sites\n";
                download->CancelAuthorization();
            }
            return;
        }
        case WM_SCAN_ENDED:
            if (!scanEnded) {
                scanEnded = true;
                scanner->Close();
                session->Finish();
            }
            return;
        default: FreeScanNotice(m.msg, m.wp, m.lp); return;
    }
}

void CCollectJobs::SJob::Run() {
    while (!stop) {
        if (auto m = window.GetMessage(kWaitMs)) OnMessage(*m);
        if ((scanEnded || session->NoFolder()) && session->Done()) break;
        std::string line;
        if (!scanEnded)
            line = "Scanning: " + std::to_string(scanner->GetPagesScanned()) + " pages scanned, " +
                   std::to_string(scanner->GetRemainingCount()) + " remaining, " + std::to_string(session->Items()) +
                   " pictures found; ";
        line += (drop ? "" : "Downloading: ") + session->ProgressLine();
        std::lock_guard g(lock);
        progress = line;
    }
    bool interrupted = stop.load();
    finished = true;
    if (!scanEnded && scanner) scanner->Close();
    session->Stop();
    while (auto m = window.GetMessage(0)) OnMessage(*m);  // frees what came late
    std::ostringstream out;
    session->PrintSummary(out, json, colour);
    std::lock_guard g(lock);
    summary = out.str();
    exitCode = interrupted ? 130 : (!scanFailed && session->AllCollected()) ? 0 : 1;
    done = true;
}

CCollectJobs::CCollectJobs() = default;

CCollectJobs::~CCollectJobs() {
    std::lock_guard g(lock_);
    for (auto& [id, job] : jobs_) {
        job->stop = true;
        if (job->thread.joinable()) job->thread.join();
    }
}

nlohmann::json CCollectJobs::Start(const nlohmann::json& body, int& status) {
    if (body.value("kind", "") == "drop") return StartDrop(body, status);
    status = 400;
    if (!body.contains("url") || !body["url"].is_string() || !body.contains("basket") || !body["basket"].is_string())
        return {{"error", "\"url\" and \"basket\" must be strings."}};
    auto job = std::make_shared<SJob>();
    job->url = body["url"].get<std::string>();
    job->json = body.value("json", false);
    job->colour = body.value("colour", false);
    std::string basketName = body["basket"].get<std::string>(), profileName = body.value("profile", "");
    status = 422;
    CBasket* basket = GetBaskets().FindByName(basketName);
    if (!basket)
        return {{"error", "plover: no basket named \"" + basketName +
                              "\" (plover basket list shows them; plover basket add NAME FOLDER makes one)"}};
    if (GetSettings().eTrafficMode == kQueueStopped)
        return {{"error", "plover: the download queue is stopped (eTrafficMode 3); start it with plover settings set "
                          "eTrafficMode 0"}};
    SScanProfile profile;
    auto overrides = SProfileOverrideOptions::FromJson(body.value("overrides", nlohmann::json::object()));
    if (!ChooseScanProfile(profileName, profile, overrides))
        return {{"error", "plover: no scan profile \"" + profileName + "\""}};
    profile.bLinks = 1;  // page links are only counted (pictures of other formats), never collected
    job->session = std::make_unique<CBasketSession>(&job->window, *basket, 0);
    if (!job->session->Start()) return {{"error", "plover: the downloader is not available"}};
    job->scanner =
        StartScanner(job->url, body.value("reload", false), profile, &job->window, overrides.followPicturePages);
    if (!job->scanner) {
        job->session->Stop();
        return {{"error", "plover: the scan cannot start (" + job->url + ")"}};
    }
    return Begin(job, status);
}

nlohmann::json CCollectJobs::Begin(const std::shared_ptr<SJob>& job, int& status) {
    job->thread = std::thread([job] { job->Run(); });
    std::lock_guard g(lock_);
    int id = next_++;
    jobs_[id] = job;
    status = 200;
    return {{"job", id}};
}

nlohmann::json CCollectJobs::StartDrop(const nlohmann::json& body, int& status) {
    status = 400;
    if (!body.contains("urls") || !body["urls"].is_array() || body["urls"].empty() || !body.contains("basket") ||
        !body["basket"].is_string())
        return {{"error", "\"urls\" (a list) and \"basket\" (a string) are needed."}};
    for (const nlohmann::json& u : body["urls"])
        if (!u.is_string() || !IsFetchableUrl(u.get<std::string>()))
            return {{"error", "plover: not an HTTP or FTP address: " + (u.is_string() ? u.get<std::string>() : u.dump())}};
    auto job = std::make_shared<SJob>();
    job->drop = job->scanEnded = true;
    job->json = body.value("json", false);
    job->colour = body.value("colour", false);
    std::string name = body["basket"].get<std::string>(), referrer = body.value("referrer", "");
    status = 422;
    CBasket* basket = GetBaskets().FindByName(name);
    if (!basket) return {{"error", "plover: " + NoBasketText(name)}};
    job->session = std::make_unique<CBasketSession>(&job->window, *basket, kBasketItemPauseMs);
    if (!job->session->Start()) return {{"error", "plover: the downloader is not available"}};
    for (const nlohmann::json& u : body["urls"]) job->session->Add({u.get<std::string>(), referrer});
    job->session->Finish();
    return Begin(job, status);
}

nlohmann::json CCollectJobs::State(int id, int& status) {
    std::shared_ptr<SJob> job;
    {
        std::lock_guard g(lock_);
        auto it = jobs_.find(id);
        if (it == jobs_.end()) {
            status = 404;
            return {{"error", "There is no such job."}};
        }
        job = it->second;
    }
    status = 200;
    std::lock_guard g(job->lock);
    nlohmann::json out = {{"progress", job->progress}, {"done", job->done}, {"errors", job->errors}};
    job->errors.clear();  // each error is read once
    if (job->done) {
        out["summary"] = job->summary;
        out["exitCode"] = job->exitCode;
    }
    return out;
}

}  // namespace plover::cli
