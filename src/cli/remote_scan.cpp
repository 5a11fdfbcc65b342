// `plover scan` through the running Plover: the scan is a scan document there, read back through
// the scan documents' API and printed by the same functions as a scan run here.
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <thread>

#include "cli/cli_kit.h"
#include "cli/remote_client.h"
#include "cli/scan_command.h"
#include "cli/scan_results.h"

namespace plover::cli {
namespace {

constexpr auto kPollEvery = std::chrono::milliseconds(250);
constexpr size_t kItemsPerRead = 10000;

EScanElementType TypeOf(const std::string& kind) {
    return kind == "thumbnail" ? SCAN_THUMBNAIL : kind == "picture" ? SCAN_LARGE_PIC : SCAN_PAGE_LINK;
}

EDownloadMark MarkOf(const std::string& name) {
    return name == "disk" ? EDownloadMark::OnDisk : name == "queued" ? EDownloadMark::Queued : EDownloadMark::None;
}

// A refused start, said as a run here says it.
int SayRefused(int status, const nlohmann::json& answer, const SScanOptions& options) {
    if (status == 0) return Refuse(kExitFailed, "the running Plover does not answer");
    if (answer.value("noSite", false)) {
        SayNoSearchSite(options.searchSite);
        return kExitFailed;
    }
    if (answer.value("noMarker", false)) {
        SayNoSearchMarker(options.searchSite);
        return kExitFailed;
    }
    if (answer.contains("noProfile")) {
        SayNoScanProfile(answer.value("noProfile", ""));
        return kExitFailed;
    }
    if (answer.contains("unfetchable"))  // a search site's address that is neither HTTP nor FTP
        return Refuse(kExitUsage, "not an HTTP or FTP address: " + answer.value("unfetchable", ""));
    if (answer.value("cannotScan", false)) {
        std::cerr << answer.value("error", "") << "\n";
        return kExitFailed;
    }
    return Refuse(kExitFailed, answer.value("error", "refused"));
}

// The title of search site `index` (from 0) in the running Plover.
std::string SiteTitle(CPloverClient& client, int index) {
    nlohmann::json choices;
    client.Get("/api/scan/choices", choices);
    for (const nlohmann::json& s : choices.value("searchSites", nlohmann::json::array()))
        if (s.value("number", -1) == index) return s.value("title", "");
    return {};
}

// Every result of the document, as a run here keeps them; false when the document is gone.
bool ReadResults(CPloverClient& client, const std::string& items, std::vector<SScanResult>& out) {
    for (size_t total = 1; out.size() < total;) {
        nlohmann::json page;
        if (client.Get(items + "?detail=1&count=" + std::to_string(kItemsPerRead) + "&from=" + std::to_string(out.size()),
                       page) != 200)
            return false;
        total = page.value("total", size_t(0));
        const nlohmann::json list = page.value("items", nlohmann::json::array());
        if (list.empty()) break;
        for (const nlohmann::json& i : list) {
            SScanResult r;
            r.type = TypeOf(i.value("kind", ""));
            r.url = i.value("url", "");
            r.text = i.value("text", "");
            r.page = i.value("page", "");
            r.pageTitle = i.value("pageTitle", "");
            r.thumbnailUrl = i.value("thumbUrl", "");
            r.thumbnailFile = i.value("thumbFile", "");
            r.mark = MarkOf(i.value("mark", ""));
            out.push_back(std::move(r));
        }
    }
    return true;
}

}  // namespace

int RunScanThrough(const SRunningPlover& plover, const SScanOptions& options) {
    CPloverClient client(plover);
    nlohmann::json body = {{"reload", options.reload}, {"overrides", options.overrides.ToJson()}}, answer;
    if (!options.profile.empty()) body["profile"] = options.profile;
    // A search: the running Plover builds the address from its search site (numbered from 0 there).
    const std::string& site = options.searchSite;
    bool search = !site.empty();
    if (!search) {
        body["url"] = options.url;
    } else if (site.size() <= 6 && site.find_first_not_of("0123456789") == std::string::npos && std::stoi(site) > 0) {
        body["search"] = {{"site", std::stoi(site) - 1}, {"text", options.searchText}};
    } else {
        SayNoSearchSite(site);
        return kExitFailed;
    }
    int status = client.Post("/api/scan", body, answer);
    if (status != 200) return SayRefused(status, answer, options);
    const std::string url = search ? answer.value("url", "") : options.url;
    if (search) SaySearching(SiteTitle(client, std::stoi(site) - 1), options.searchText, url);
    const std::string doc = "/api/scan/" + std::to_string(answer.value("id", 0));
    CatchInterrupt();
    CProgressLine progress(STDERR_FILENO);
    progress.DelayPlain();
    nlohmann::json state, ignored;
    for (bool stopped = false;;) {
        nlohmann::json page;
        if (client.Get(doc + "/items?count=0", page) != 200) {
            progress.Clear();
            return Refuse(kExitFailed, "the scan document was closed in the running Plover, or it has stopped");
        }
        state = page.value("state", nlohmann::json::object());
        if (state.contains("login")) {
            // As a scan here: nobody answers a login question from the command line.
            progress.Clear();
            Complain() << state["login"].value("server", "") << " asks for a login; store one with plover sites\n";
            client.Post(doc + "/cancelLogin", nlohmann::json::object(), ignored);
        }
        if (state.value("state", "") != "scanning") break;
        if (Interrupted() && !stopped) {
            stopped = true;  // the document keeps what was found so far
            client.Post(doc + "/stop", nlohmann::json::object(), ignored);
            continue;
        }
        if (!options.fetch.quiet)
            progress.Show(ScanProgressText(state.value("pages", 0), state.value("remaining", 0),
                                           state.value("thumbnails", size_t(0)), state.value("links", 0)));
        std::this_thread::sleep_for(kPollEvery);
    }
    progress.Clear();
    if (state.value("state", "") == "failed")
        return Refuse(kExitFailed, state.value("error", "") + " (" + url + ")");
    SScanReport report{state.value("title", ""), state.value("startUrl", ""), url, {},
                       state.value("pages", 0), state.value("thumbsFetched", 0), state.value("state", "") == "done"};
    if (!ReadResults(client, doc + "/items", report.results))
        return Refuse(kExitFailed, "the scan document was closed in the running Plover, or it has stopped");
    if (!report.complete) std::cerr << "Interrupted: the results found so far follow.\n";
    if (options.json)
        PrintScanJson(std::cout, report);
    else
        PrintScanText(std::cout, report);
    std::cout.flush();
    return report.complete ? kExitOk : kExitInterrupted;
}

}  // namespace plover::cli
