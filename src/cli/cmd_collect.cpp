// plover collect URL --basket NAME [--profile NAME|NUMBER] [profile overrides] [--reload] [--json]:
// Plover's main job. The address is scanned under the profile (default: the first, "Scan Single Page"); every
// thumbnail's picture and every large picture found is dropped into the basket with its page as
// the referrer, as soon as the scan delivers it; the command runs until the scan has ended and
// every basket download it is waiting for has been taken out of the list. A picture that the
// download history knows is not fetched again: it stays in the basket, or is moved there from
// elsewhere on disk.
//
// Progress goes to standard error (one live line on a terminal, a plain line every few seconds
// otherwise); the summary to standard output: downloaded, moved from elsewhere on disk, already
// in the basket, already queued for this basket, queued elsewhere (another basket's or the
// user's download of the address: not collected), failed (each failure with its status text).
// Exit status 0 when the scan ran and every picture was collected; 1 otherwise; 130 when
// interrupted (Ctrl-C, SIGTERM), after the summary of what was done.
#include <unistd.h>

#include <iostream>
#include <memory>

#include "app/settings.h"
#include "baskets/basket.h"
#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/basket_session.h"
#include "cli/collect_command.h"
#include "cli/command.h"
#include "cli/protocol_log.h"
#include "cli/remote_session.h"
#include "cli/scan_command.h"
#include "cli/window_ticker.h"
#include "download/i_download.h"
#include "engine/engine_mgr.h"
#include "platform/tick.h"
#include "scan/i_scanner.h"
#include "scan/scan_profile.h"
#include "scan/scan_rules.h"

namespace plover::cli {
namespace {

constexpr uint32_t WM_COLLECT_TICK = WM_APP + 0x7A3;
constexpr uint32_t kTickMs = 250;
constexpr int32_t kQueueStopped = 3;

class CCollect {
public:
    CCollect(CliContext& ctx, SCollectOptions options)
        : ctx_(ctx), options_(std::move(options)) {}
    int Run();

private:
    bool StartScan(const SScanProfile& profile);
    void OnMessage(const SWindowMessage& m);
    void OnElement(std::unique_ptr<SScanElement> e);
    void OnScanEnded();
    void CheckDone();
    void ShowProgress();

    CliContext& ctx_;
    SCollectOptions options_;
    CProgressLine progress_{STDERR_FILENO};
    std::unique_ptr<CCliApp> app_;
    std::unique_ptr<CBasketSession> session_;
    RefPtr<IScanner> scanner_;
    bool scanEnded_ = false;
    bool scanFailed_ = false;
    bool finished_ = false;
};

bool CCollect::StartScan(const SScanProfile& profile) {
    scanner_ = StartScanner(options_.url, options_.reload, profile, app_->App().MainWindow(),
                            options_.overrides.followPicturePages);
    return scanner_ != nullptr;
}

void CCollect::OnElement(std::unique_ptr<SScanElement> e) {
    // Pictures only: a thumbnail stands for the picture it links to; page links are not files
    // to collect, but a link to a picture of another format is counted for the summary.
    if (e->GetType() == SCAN_PAGE_LINK) {
        std::string format = OtherPictureFormat(e->url);
        if (!format.empty()) session_->NoteOtherFormat(format);
        return;
    }
    session_->Add({e->url, e->pageUrl});
}

void CCollect::OnScanEnded() {
    if (scanEnded_) return;
    scanEnded_ = true;
    if (scanner_) scanner_->Close();
    session_->Finish();
}

void CCollect::OnMessage(const SWindowMessage& m) {
    if (session_ && session_->OnMessage(m)) {
        CheckDone();
        return;
    }
    switch (m.msg) {
        case WM_COLLECT_TICK: ShowProgress(); return;
        case WM_SCAN_ELEMENT: {
            std::unique_ptr<SScanElement> e(reinterpret_cast<SScanElement*>(m.wp));
            if (!finished_) OnElement(std::move(e));
            return;
        }
        case WM_SCAN_FAILED:
            scanFailed_ = true;
            progress_.Clear();
            Complain() << scanner_->GetErrorText() << " (" << options_.url << ")\n";
            return;
        case WM_SCAN_WAITING: {
            auto download = RefPtr<IDownload>::Adopt(reinterpret_cast<IDownload*>(m.wp));
            if (download) {
                progress_.Clear();
                Complain() << download->GetServer() << " asks for a login; store one with plover sites\n";
                download->CancelAuthorization();
            }
            return;
        }
        case WM_SCAN_ENDED:
            if (!finished_) OnScanEnded();
            CheckDone();
            return;
        default: FreeScanNotice(m.msg, m.wp, m.lp); return;
    }
}

void CCollect::CheckDone() {
    // A basket without its folder ends the collection at once; otherwise the scan ends first.
    if (finished_ || (!scanEnded_ && !session_->NoFolder()) || !session_->Done()) return;
    finished_ = true;
    app_->App().Quit();
}

void CCollect::ShowProgress() {
    if (finished_ || !scanner_ || options_.fetch.quiet) return;
    std::string line;
    if (!scanEnded_)
        line = "Scanning: " + std::to_string(scanner_->GetPagesScanned()) + " pages scanned, " +
               std::to_string(scanner_->GetRemainingCount()) + " remaining, " + std::to_string(session_->Items()) +
               " pictures found; ";
    line += "Downloading: " + session_->ProgressLine();
    progress_.Show(line);
}

int CCollect::Run() {
    if (!options_.buildUrl)
        if (int refused = RefuseUnfetchable(options_.url)) return refused;
    if (!ApplyTlsOptions(options_.tls)) return kExitFailed;
    if (!CheckFetchOptions(options_.fetch)) return kExitUsage;
    if (!options_.buildUrl)
        if (auto running = FindRunningPlover(ctx_)) {
            WarnCookiesStayHere(options_.cookies);
            WarnFetchOptionsStayHere(options_.fetch, options_.verbose);
            return RunCollectThrough(*running, options_.url, options_.basket, options_.profile, options_.reload,
                                     options_.json, options_.overrides.ToJson());
        }
    if (!ApplyCookieOptions(options_.cookies)) return 2;
    app_ = std::make_unique<CCliApp>(ctx_);
    if (!app_->Start(CCliApp::kEngines)) return 1;
    WarnWhenUnverified();
    if (options_.buildUrl)
        if (int refused = TakeBuiltAddress(options_.url, options_.buildUrl)) {
            app_->Stop();
            return refused;
        }
    CBasket* basket = GetBaskets().FindByName(options_.basket);
    SScanProfile profile;
    if (!basket)
        return Refuse(kExitFailed, "no basket named \"" + options_.basket +
                                       "\" (plover basket list shows them; plover basket add NAME FOLDER makes one)");
    if (GetSettings().eTrafficMode == kQueueStopped)
        return Refuse(kExitFailed,
                      "the download queue is stopped (eTrafficMode 3); start it with plover settings set eTrafficMode 0");
    if (!ChooseScanProfile(options_.profile, profile, options_.overrides)) return 1;
    CRunFetchSettings runSettings;
    runSettings.Apply(options_.fetch, options_.url);
    CProtocolLogPrinter log;
    if (options_.verbose) log.Start();
    profile.bLinks = 1;  // page links are only counted (pictures of other formats), never collected
    session_ = std::make_unique<CBasketSession>(*app_, *basket, 0);
    if (!session_->Start() || !StartScan(profile)) return 1;
    progress_.DelayPlain();
    {
        CWindowTicker ticker(app_->App().MainWindow(), WM_COLLECT_TICK, kTickMs);
        app_->RunUntilQuit([this](const SWindowMessage& m) { OnMessage(m); });
    }
    bool interrupted = !finished_;
    finished_ = true;
    progress_.Clear();
    if (!scanEnded_ && scanner_) scanner_->Close();
    session_->Stop();
    log.Stop();
    runSettings.Restore();
    bool saved = app_->Stop();  // late messages still reach OnMessage and are freed there
    saved = SaveCookiesAsAsked(options_.cookies) && saved;
    if (interrupted) std::cerr << "Interrupted: what was done so far follows.\n";
    session_->PrintSummary(std::cout, options_.json, UseColourOn(STDOUT_FILENO));
    std::cout.flush();
    if (interrupted) return kExitInterrupted;
    return (saved && !scanFailed_ && session_->AllCollected()) ? 0 : 1;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SCollectOptions>();
    auto* cmd = app.add_subcommand("collect", "Scan a page or gallery and collect its pictures into a basket");
    cmd->add_option("URL", options->url, "The page or gallery address (http://, https:// or ftp://)")->required();
    cmd->add_option("--basket", options->basket, "The basket that receives the pictures (see plover basket list)")
        ->required()
        ->type_name("NAME");
    cmd->add_option("--profile", options->profile, "The scan profile, by name or number (default: Scan Single Page)")
        ->type_name("NAME|NUMBER");
    cmd->add_flag("--reload", options->reload, "Fetch every page again instead of using the page cache");
    cmd->add_flag("--json", options->json, "Print one JSON object a line: each picture, then a summary");
    AddProfileOverrideOptions(cmd, options->overrides);
    cmd->add_flag("-v,--verbose", options->verbose, "Print the protocol log of every page and picture fetched");
    AddFetchOptions(cmd, options->fetch);
    AddTlsOptions(cmd, options->tls);
    AddCookieOptions(cmd, options->cookies);
    cmd->callback([options, &ctx] { ctx.exitCode = RunCollectCommand(ctx, *options); });
}

CommandRegistrar registrar("collect", Setup);

}  // namespace

int RunCollectCommand(CliContext& ctx, const SCollectOptions& options) {
    CCollect collect(ctx, options);
    return collect.Run();
}

}  // namespace plover::cli
