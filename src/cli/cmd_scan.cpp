// plover scan URL [--profile NAME|NUMBER] [--reload] [--json]: one scan through the scanner engine,
// with the command's main window as the scan's notify window. While it runs, the pages scanned,
// the pages remaining, the thumbnails and the links found are shown on standard error (one live
// line on a terminal, a plain line every few seconds otherwise). At the end it prints the start
// page's title, then the thumbnails (picture, thumbnail, page), the large pictures and the page
// links, each with what the download history knows of it ("on disk", "queued"); with --json one
// JSON object a line instead: the start page, each result, and a summary.
//
// Pages come through the page cache like every scan: a second scan of the same address is
// answered from the cache under the cache mode; --reload fetches every page again. A start page
// that fails prints its error text and exits 1; Ctrl-C stops the scan and prints what was found.
#include <unistd.h>

#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/protocol_log.h"
#include "cli/remote_session.h"
#include "cli/scan_command.h"
#include "cli/scan_results.h"
#include "cli/window_ticker.h"
#include "download/downloader.h"
#include "download/i_download.h"
#include "engine/engine_mgr.h"
#include "platform/tick.h"
#include "scan/download_mark.h"
#include "scan/i_scanner.h"
#include "scan/scan_profile.h"
#include "scan/scan_rules.h"

namespace plover::cli {
namespace {

constexpr uint32_t WM_SCAN_CLI_TICK = WM_APP + 0x7A1;
constexpr uint32_t kTickMs = 250;

class CScanSession {
public:
    CScanSession(CliContext& ctx, SScanOptions options)
        : ctx_(ctx), options_(std::move(options)) {}
    int Run();

private:
    bool StartScan(const SScanProfile& profile);
    void OnMessage(const SWindowMessage& m);
    void OnWaiting(IDownload* download);
    void ShowProgress();
    SScanReport Report() const;

    CliContext& ctx_;
    SScanOptions options_;
    CProgressLine progress_{STDERR_FILENO};
    std::unique_ptr<CCliApp> app_;
    RefPtr<IScanner> scanner_;
    std::vector<SScanResult> results_;  // in the order found
    size_t thumbnails_ = 0;
    std::map<std::string, std::string> fetched_;  // small picture address -> file in the cache
    bool failed_ = false;
    bool ended_ = false;
    bool done_ = false;  // the results are being printed: no more progress
};

bool CScanSession::StartScan(const SScanProfile& profile) {
    // Pages are fetched as downloads: the downloader works on its list, loaded once per run.
    RefPtr<IEngine> downloader;
    if (GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, downloader.Put())) {
        auto* d = dynamic_cast<CDownloader*>(downloader.Get());
        if (d && !d->HasList()) d->LoadList(nullptr);
    }
    scanner_ = StartScanner(options_.url, options_.reload, profile, app_->App().MainWindow(),
                            options_.overrides.followPicturePages);
    return scanner_ != nullptr;
}

void CScanSession::OnWaiting(IDownload* download) {
    // Nobody answers a login question in a scan from the command line: the page fails, the scan
    // goes on. A login stored for the site (plover sites) is used by every page request.
    progress_.Clear();
    Complain() << download->GetServer() << " asks for a login; store one with plover sites\n";
    download->CancelAuthorization();
}

void CScanSession::OnMessage(const SWindowMessage& m) {
    switch (m.msg) {
        case WM_SCAN_CLI_TICK: ShowProgress(); return;
        case WM_SCAN_ELEMENT: {
            std::unique_ptr<SScanElement> e(reinterpret_cast<SScanElement*>(m.wp));
            SScanResult r;
            r.type = e->GetType();
            r.url = std::move(e->url);
            r.text = std::move(e->text);
            r.page = std::move(e->pageUrl);
            r.pageTitle = std::move(e->pageTitle);
            if (r.type == SCAN_THUMBNAIL) {
                r.thumbnailUrl = static_cast<SScanThumbnail&>(*e).thumbnailUrl;
                ++thumbnails_;
            }
            results_.push_back(std::move(r));
            return;
        }
        case WM_SCAN_THUMB_FETCHED: {
            std::unique_ptr<std::string> url(reinterpret_cast<std::string*>(m.wp));
            std::unique_ptr<std::string> path(reinterpret_cast<std::string*>(m.lp));
            fetched_[*url] = *path;
            return;
        }
        case WM_SCAN_FAILED: failed_ = true; return;
        case WM_SCAN_WAITING: {
            auto download = RefPtr<IDownload>::Adopt(reinterpret_cast<IDownload*>(m.wp));
            if (download) OnWaiting(download.Get());
            return;
        }
        case WM_SCAN_ENDED:
            if (!ended_) {
                ended_ = true;
                app_->App().Quit();
            }
            return;
        default: FreeScanNotice(m.msg, m.wp, m.lp); return;
    }
}

void CScanSession::ShowProgress() {
    if (!scanner_ || ended_ || done_ || options_.fetch.quiet) return;
    progress_.Show(ScanProgressText(scanner_->GetPagesScanned(), scanner_->GetRemainingCount(), thumbnails_,
                                    scanner_->GetLinkCount()));
}

SScanReport CScanSession::Report() const {
    SScanReport report{scanner_->GetPageTitle(), scanner_->GetStartURL(), options_.url, results_,
                       scanner_->GetPagesScanned(), scanner_->GetThumbnailCount(), ended_};
    for (SScanResult& r : report.results) {
        r.mark = GetDownloadMark(r.url);
        auto file = fetched_.find(r.thumbnailUrl);
        if (r.type == SCAN_THUMBNAIL && file != fetched_.end()) r.thumbnailFile = file->second;
    }
    return report;
}

int CScanSession::Run() {
    if (!options_.buildUrl)
        if (int refused = RefuseUnfetchable(options_.url)) return refused;
    if (!ApplyTlsOptions(options_.tls)) return kExitFailed;
    if (!CheckFetchOptions(options_.fetch)) return kExitUsage;
    if (!options_.buildUrl || !options_.searchSite.empty())
        if (auto running = FindRunningPlover(ctx_)) {
            WarnCookiesStayHere(options_.cookies);
            WarnFetchOptionsStayHere(options_.fetch, options_.verbose);
            return RunScanThrough(*running, options_);
        }
    if (!ApplyCookieOptions(options_.cookies)) return kExitUsage;
    app_ = std::make_unique<CCliApp>(ctx_);
    if (!app_->Start(CCliApp::kEngines)) return 1;
    WarnWhenUnverified();
    if (options_.buildUrl)
        if (int refused = TakeBuiltAddress(options_.url, options_.buildUrl)) {
            app_->Stop();
            return refused;
        }
    CRunFetchSettings runSettings;
    runSettings.Apply(options_.fetch, options_.url);
    CProtocolLogPrinter log;
    if (options_.verbose) log.Start();
    SScanProfile profile;
    if (!ChooseScanProfile(options_.profile, profile, options_.overrides) || !StartScan(profile)) {
        log.Stop();
        runSettings.Restore();
        app_->Stop();
        return 1;
    }
    progress_.DelayPlain();
    {
        CWindowTicker ticker(app_->App().MainWindow(), WM_SCAN_CLI_TICK, kTickMs);
        app_->RunUntilQuit([this](const SWindowMessage& m) { OnMessage(m); });
    }
    done_ = true;
    progress_.Clear();
    scanner_->Close();
    log.Stop();
    runSettings.Restore();
    bool saved = app_->Stop();  // late notices still reach OnMessage and are freed there
    saved = SaveCookiesAsAsked(options_.cookies) && saved;

    if (failed_) return Refuse(kExitFailed, scanner_->GetErrorText() + " (" + options_.url + ")");
    if (!ended_) std::cerr << "Interrupted: the results found so far follow.\n";
    if (options_.json)
        PrintScanJson(std::cout, Report());
    else
        PrintScanText(std::cout, Report());
    std::cout.flush();
    if (!ended_) return kExitInterrupted;
    return saved ? 0 : 1;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SScanOptions>();
    auto* cmd = app.add_subcommand("scan", "Scan a page or gallery for thumbnails, large pictures and page links");
    cmd->add_option("URL", options->url, "The start address (http://, https:// or ftp://)")->required();
    AddScanOptions(cmd, *options);
    cmd->callback([options, &ctx] { ctx.exitCode = RunScanCommand(ctx, *options); });
}

CommandRegistrar registrar("scan", Setup);

}  // namespace

bool ChooseScanProfile(const std::string& which, SScanProfile& out, const SProfileOverrideOptions& overrides) {
    CScanProfileList& list = GetScanProfiles();
    int index = which.empty() ? 0 : list.FindByNameOrNumber(which);
    if (!list.GetAt(index)) {
        SayNoScanProfile(which);
        return false;
    }
    out = WithOverrides(*list.GetAt(index), overrides);
    std::string refusal = CheckProfileCanScan(out);
    if (!refusal.empty()) {
        std::cerr << refusal << "\n";
        return false;
    }
    return true;
}

void SayNoScanProfile(const std::string& which) {
    Complain() << "no scan profile \"" << which << "\" (see plover profiles list)\n";
}

RefPtr<IScanner> StartScanner(const std::string& url, bool reload, const SScanProfile& profile, HWND window,
                              bool followPicturePages) {
    auto scanEngine = EngineOrSay<IScannerEngine>(ENGINE_ID_SCANNER, IID_IScannerEngine, "scanner");
    if (!scanEngine) return nullptr;
    SScanRequest request;
    request.url = url;
    request.reload = reload;
    request.profile = profile;
    request.notify = window;
    request.followPicturePages = followPicturePages;
    RefPtr<IScanner> scanner;
    if (!scanEngine->CreateScanner(&request, scanner.Put())) return nullptr;
    return scanner;
}

int RefuseUnfetchable(const std::string& url) {
    if (IsFetchableUrl(url)) return kExitOk;
    return Refuse(kExitUsage, "not an HTTP or FTP address: " + url);
}

int TakeBuiltAddress(std::string& url, const std::function<std::string()>& build) {
    url = build();
    return url.empty() ? 1 : RefuseUnfetchable(url);
}

void AddScanOptions(CLI::App* cmd, SScanOptions& options) {
    cmd->add_option("--profile", options.profile, "The scan profile, by name or number (default: the first)")
        ->type_name("NAME|NUMBER");
    cmd->add_flag("--reload", options.reload, "Fetch every page again instead of using the page cache");
    cmd->add_flag("--json", options.json, "Print one JSON object a line: the page, each result, a summary");
    AddProfileOverrideOptions(cmd, options.overrides);
    cmd->add_flag("-v,--verbose", options.verbose, "Print the protocol log of every page and picture fetched");
    AddFetchOptions(cmd, options.fetch);
    AddTlsOptions(cmd, options.tls);
    AddCookieOptions(cmd, options.cookies);
}

int RunScanCommand(CliContext& ctx, const SScanOptions& options) {
    CScanSession session(ctx, options);
    return session.Run();
}
}  // namespace plover::cli
