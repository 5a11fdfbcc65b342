// plover get: downloads files by address into a folder, shows their progress until each one has
// finished or failed, and exits 0 only when all of them finished.
//
// The downloads go through the downloader engine like any other (client number 1), so an
// interrupted run (SIGINT, SIGTERM) saves them with their sections in the download list, and the
// same command run again continues them where they stopped. A download of the list that finished
// and whose file is whole is reported as it stands. Downloads of the list are loaded held: only
// the ones this run asks for are let go, the others keep their state in the list untouched.
// Without an address, the run continues the saved list: every download in it that has neither
// finished, failed nor been paused (plover list pause) is let go and followed to its end.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "app/settings.h"
#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/download_format.h"
#include "cli/fetch_options.h"
#include "cli/protocol_log.h"
#include "cli/json_lines.h"
#include "cli/remote_session.h"
#include "cli/terminal.h"
#include "cli/cookie_options.h"
#include "cli/tls_options.h"
#include "cli/window_ticker.h"
#include "download/download_status.h"
#include "download/downloader.h"
#include "download/i_download.h"
#include "download/i_downloader.h"
#include "download/site_prop.h"
#include "download/url_name.h"
#include "platform/tick.h"
#include "platform/url_split.h"

namespace plover::cli {
namespace {

constexpr uint32_t WM_GET_TICK = WM_APP + 0x7A0;
constexpr uint32_t kTickMs = 200;
constexpr const char* kEmptyLoginText = "Username and password cannot be empty.";

struct SGetOptions {
    std::string folder;
    int priority = 5;
    int mode = -1;
    std::string input;
    bool overwrite = false;
    bool verbose = false;
    bool json = false;  // one JSON line at each download's end and a summary, no progress lines
    std::vector<std::string> urls;
    STlsCliOptions tls;
    SCookieCliOptions cookies;
    SFetchCliOptions fetch;
    std::string output;    // -o: the one address's file, by path
    int sections = 0;      // workers per download; 0: the traffic mode's
    std::string user, password;
    bool askPassword = false;
    std::string referer;
};

// Hears the downloader: copies log lines (for --verbose).
class CGetSink final : public CCommandNetSink {
public:
    explicit CGetSink(bool verbose) : verbose_(verbose) {}
    // The ticker to nudge when a download's state changes (null: none).
    void SetTicker(CWindowTicker* ticker) { ticker_.store(ticker); }
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override {
        if (code == NE_LOG && verbose_ && value1) {
            std::lock_guard g(lock_);
            lines_.push_back(ProtocolLogText(uint32_t(value2), reinterpret_cast<const char*>(value1)));
        }
        if (code == NE_STATUS || code == NE_SUPER_STATUS)
            if (CWindowTicker* t = ticker_.load()) t->Nudge();
        return 0;
    }
    std::deque<std::string> TakeLines() {
        std::lock_guard g(lock_);
        std::deque<std::string> out;
        out.swap(lines_);
        return out;
    }

private:
    bool verbose_;
    std::atomic<CWindowTicker*> ticker_{nullptr};
    std::mutex lock_;
    std::deque<std::string> lines_;
};

// Posts the site's stored login to the download when it has one that the download does not use
// yet; true when it did.
bool AnswerWithSiteLogin(IDownload* download) {
    int site = FindSite(download->GetServer().c_str());
    if (site < 0) return false;
    const SLogin& stored = GetSite(site)->login;
    const SLogin& used = download->GetConfig()->Login;
    if (used.InUse() && used.Username == stored.Username && used.Password == stored.Password) return false;
    download->PostOperation(new SDOAuthorize(stored.Username, stored.Password), 0);
    return true;
}

// A finished download's file is on disk at its full size.
bool HasWholeFile(IDownload* download) {
    std::error_code ec;
    std::string path = download->GetLocalPath();
    return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) == download->GetSize() &&
           !ec;
}

// One address of this run and what became of it.
struct STracked {
    std::string address;
    RefPtr<IDownload> download;
    bool done = false;
    bool ok = false;
    bool whole = false;                  // finished before this run, its file whole where asked
    std::string failure;                 // the status text of a failure
    DownloadStatus shownStatus = 0;      // last status printed (plain output)
    CPlainPace pace;                     // of its plain progress lines
    uint32_t answeredAt = 0xFFFFFFFFu;   // status time of the state last answered
};

class CGetSession {
public:
    CGetSession(CliContext& ctx, const SGetOptions& options)
        : ctx_(ctx), options_(options), sink_(options.verbose), terminal_(StdoutIsTerminal()),
          interactive_(StdinIsTerminal()) {}

    int Run();

private:
    bool CollectAddresses(std::vector<std::string>& out);
    bool TakePassword();
    bool PrepareFolder();
    void Adopt(const std::string& address, const std::vector<RefPtr<IDownload>>& listed);
    void ContinueList(const std::vector<RefPtr<IDownload>>& listed);
    RefPtr<IDownload> AddNew(const std::string& address);
    void OnTick();
    void Evaluate(STracked& t);
    void AnswerWaiting(STracked& t, DownloadStatus reason);
    void AskLogin(STracked& t);
    void Finish(STracked& t, bool ok, const std::string& failure);
    void Render();
    void PrintVerbose();
    // While a question waits: a message that arrived since it was asked (SIGINT, SIGTERM become
    // a quit request) cancels it.
    std::function<bool()> QuestionCancel();

    CliContext& ctx_;
    SGetOptions options_;
    CGetSink sink_;
    bool terminal_;
    bool colour_ = UseColourOn(STDOUT_FILENO);  // for the status of an ended download
    bool interactive_;
    std::string folder_;
    std::string fileName_;  // from --output
    std::unique_ptr<CCliApp> app_;
    RefPtr<IDownloader> downloader_;
    std::vector<STracked> tracked_;
    CProgressLine progress_{STDOUT_FILENO};  // the live lines of the downloads on a terminal
    bool allDone_ = false;
    std::unique_ptr<CWindowTicker> ticker_;
};

// Holds the ticker while a question is on the terminal.
class CQuestion {
public:
    explicit CQuestion(CWindowTicker* ticker) : ticker_(ticker) {
        if (ticker_) ticker_->Hold(true);
    }
    ~CQuestion() {
        if (ticker_) ticker_->Hold(false);
    }

private:
    CWindowTicker* ticker_;
};

std::function<bool()> CGetSession::QuestionCancel() {
    auto* window = static_cast<CMessageQueueWindow*>(app_->App().MainWindow());
    size_t before = window->Pending();
    return [window, before] { return window->Pending() > before; };
}

bool CGetSession::CollectAddresses(std::vector<std::string>& out) {
    bool ok = true;
    for (const std::string& url : options_.urls) {
        if (IsImportableAddress(url)) {
            out.push_back(url);
        } else {
            Complain() << "not an HTTP or FTP address: " << url << "\n";
            ok = false;
        }
    }
    if (!options_.input.empty()) {
        std::ifstream file;
        if (options_.input != "-") file.open(options_.input, std::ios::binary);
        std::istream& in = options_.input == "-" ? std::cin : file;
        if (!in) {
            Complain() << "cannot read " << options_.input << "\n";
            return false;
        }
        // The import rules: every line that is an HTTP or FTP address without "mailto:".
        std::string line;
        while (std::getline(in, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos) continue;
            line = line.substr(start);
            if (IsImportableAddress(line)) out.push_back(line);
        }
    }
    if (out.empty() && ok && !options_.input.empty()) {
        Complain() << "no address to download in " << options_.input << "\n";
        return false;
    }
    if (!options_.output.empty() && out.size() > 1) {
        Complain() << "--output names the file of one address; " << out.size()
                   << " were given (use --folder for several)\n";
        out.clear();
        return false;
    }
    return ok || !out.empty();
}

bool CGetSession::TakePassword() {
    if (options_.user.empty()) {
        if (!options_.password.empty() || options_.askPassword) {
            Complain() << "a password needs --user NAME\n";
            return false;
        }
        return true;
    }
    if (!options_.password.empty() && !options_.askPassword) return true;
    if (!interactive_) {
        Complain() << "no password for " << options_.user << ": give --password, or --ask-password on a terminal\n";
        return false;
    }
    auto password = AskLine("Password for " + options_.user + ": ", true, [] { return false; });
    if (!password) return false;
    options_.password = *password;
    return true;
}

bool CGetSession::PrepareFolder() {
    std::error_code ec;
    std::filesystem::path folder = options_.folder.empty() ? std::filesystem::current_path(ec)
                                                           : std::filesystem::path(options_.folder);
    if (!options_.output.empty()) {
        // -o FILE: the file's own folder (below --folder when FILE is relative) and its name.
        std::filesystem::path file(options_.output);
        if (!file.has_filename()) {
            Complain() << "--output needs a file name: " << options_.output << "\n";
            return false;
        }
        fileName_ = file.filename().string();
        folder = file.is_absolute() ? file.parent_path() : folder / file.parent_path();
    }
    folder = std::filesystem::absolute(folder, ec);
    if (!ec) std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        Complain() << "cannot use the folder " << folder.string() << (ec ? ": " + ec.message() : "") << "\n";
        return false;
    }
    folder_ = folder.lexically_normal().string();
    if (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
    if (folder_.find('|') != std::string::npos) {
        Complain() << "the folder name cannot contain \"|\": " << folder_ << "\n";
        return false;
    }
    return true;
}

RefPtr<IDownload> CGetSession::AddNew(const std::string& address) {
    auto* config = new SDownloadConfig();
    config->URL_original = address;
    config->URL_remote = address;
    config->LocalFolder = folder_;
    config->Prior = options_.priority;
    config->ClientID = 1;
    config->StartMode = START_RUN;
    config->FileName = fileName_;
    config->csPrevServer = options_.referer;
    SUrlParts parts;
    if (SplitUrl(address, parts)) config->Server = parts.server;
    // A login given with --user wins, then one written in the address, then the stored login
    // of the site, if any.
    if (!options_.user.empty()) {
        config->Login = SLogin{1, options_.user, options_.password};
    } else if (parts.user.empty() && FindSite(config->Server.c_str()) >= 0) {
        ApplySiteLogin(*config);
    }
    int id = -1;
    RefPtr<IDownload> d;
    downloader_->AddDownload(config, &id, d.Put());
    return d;
}

void CGetSession::Adopt(const std::string& address, const std::vector<RefPtr<IDownload>>& listed) {
    STracked t;
    t.address = address;
    for (auto& d : listed)
        if (d->GetOriginalUrl() == address || d->GetRemoteUrl() == address ||
            d->GetOriginalUrl() == AddressWithoutPassword(address)) {  // a listed address keeps no password
            t.download = d;
            break;
        }
    if (t.download && t.download->IsFinished()) {
        // Done already when its whole file is where this run asks for it and nothing asks for a
        // new copy.
        if (HasWholeFile(t.download.Get()) && t.download->GetLocalFolder() == folder_ && !options_.overwrite) {
            t.whole = true;
            tracked_.push_back(std::move(t));  // the first look reports it finished
            return;
        }
        // Its file is gone or changed, another folder or a fresh copy is asked for: it is fetched
        // again, and its old entry makes way.
        t.download->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
        t.download.Reset();
    }
    if (t.download) {
        // A login given now, or one stored for the site since the last run, reaches the download
        // as the user's answer before it is let go again: no request of this run goes without it.
        if (!options_.user.empty())
            t.download->PostOperation(new SDOAuthorize(options_.user, options_.password), 0);
        else
            AnswerWithSiteLogin(t.download.Get());
        // The folder asked for now is where a download that has nothing on disk yet goes (one
        // with data keeps its file; moving that is plover move's business).
        if (t.download->GetDownloaded() == 0 && t.download->GetLocalFolder() != folder_)
            t.download->MoveTo(folder_, true);
        DownloadStatus st = t.download->GetStatus();
        if (t.download->IsFailed() || st == DS_WAIT_FOR_USER)
            t.download->Retry(0);
        else
            t.download->Resume();  // lets it go: paused, or held since the list was loaded
        if ((terminal_ || options_.verbose) && !options_.fetch.quiet)
            std::cerr << "Continuing " << address << " (" << FormatBytes(t.download->GetDownloaded())
                      << " already here)\n";
    } else {
        t.download = AddNew(address);
    }
    if (t.download && options_.sections > 0) t.download->SetSectionLimit(options_.sections);
    if (!t.download) {
        t.done = true;
        t.failure = "Failed";
        Complain() << "cannot download " << address << "\n";
    }
    tracked_.push_back(std::move(t));
}

void CGetSession::ContinueList(const std::vector<RefPtr<IDownload>>& listed) {
    for (auto& d : listed) {
        if (d->IsFinished() || d->IsFailed() || d->IsPaused()) continue;
        STracked t;
        t.address = d->GetOriginalUrl();
        t.download = d;
        AnswerWithSiteLogin(d.Get());
        if (d->GetStatus() == DS_WAIT_FOR_USER)
            d->Retry(0);
        else
            d->Resume();
        tracked_.push_back(std::move(t));
    }
    if (tracked_.empty())
        std::cerr << "Nothing to continue: no download of the list waits (plover list shows them).\n";
    else if (terminal_ || options_.verbose)
        std::cerr << "Continuing " << tracked_.size() << (tracked_.size() == 1 ? " download" : " downloads")
                  << " of the list\n";
}

void CGetSession::Finish(STracked& t, bool ok, const std::string& failure) {
    t.done = true;
    t.ok = ok;
    t.failure = failure;
    SProgressLine s = Snapshot(t.download.Get(), t.address);
    s.workers = 0;
    s.speed = s.timeLeft = 0;
    progress_.Clear();
    if (options_.json) {
        nlohmann::json j = DownloadJson(t.download->GetSnapshot());
        j["ok"] = ok;
        if (!ok) j["failure"] = failure;
        if (t.whole) j["already"] = true;  // finished before this run, its file whole
        WriteJsonLine(std::cout, j);
    } else if (t.whole) {
        std::cout << s.name << ": Finished already, the file is whole: " << t.download->GetLocalPath() << "\n";
    } else if (!ok) {
        std::cout << s.name << ": " << Paint(failure, ETone::Bad, colour_) << " (" << AddressWithoutPassword(t.address) << ")\n";
    } else if (options_.fetch.quiet) {
        // a quiet run tells only failures
    } else if (terminal_) {
        // The status closes the line: painted there, once the line is cut to the width.
        std::string line = TerminalLine(s, progress_.Columns());
        if (line.size() >= s.status.size() && line.compare(line.size() - s.status.size(), s.status.size(), s.status) == 0)
            line = line.substr(0, line.size() - s.status.size()) + Paint(s.status, ETone::Good, colour_);
        std::cout << line << "\n";
    } else
        std::cout << PlainLine(s) << "\n";
    if (!ok && failure == StatusText(DS_UNAUTHORIZED))
        std::cerr << "hint: give the login with --user NAME (and --ask-password), or store it for the site with "
                     "plover sites add "
                  << t.download->GetServer() << " USER PASSWORD\n";
    std::cout.flush();
}

void CGetSession::AskLogin(STracked& t) {
    progress_.Clear();
    CQuestion question(ticker_.get());
    std::cerr << "Login needed for " << t.download->GetServer() << " (" << t.download->GetFileName() << ")\n";
    auto cancelled = QuestionCancel();
    for (;;) {
        auto user = AskLine("Username: ", false, cancelled);
        if (!user) break;
        auto password = AskLine("Password: ", true, cancelled);
        if (!password) break;
        if (user->empty() || password->empty()) {
            std::cerr << kEmptyLoginText << "\n";
            continue;
        }
        t.download->PostOperation(new SDOAuthorize(*user, *password), 0);
        return;
    }
    t.download->CancelAuthorization();
    Finish(t, false, StatusText(DS_UNAUTHORIZED));
}

void CGetSession::AnswerWaiting(STracked& t, DownloadStatus reason) {
    uint32_t when = t.download->GetStatusTime();
    if (when == t.answeredAt) return;  // answered; the answer has not run yet
    if (reason == DS_NONE) return;     // the reason is set beside the state a moment later
    if (reason == DS_TGT_FILE_EXISTS) {
        bool yes = options_.overwrite;
        if (!yes && interactive_) {
            progress_.Clear();
            CQuestion question(ticker_.get());
            yes = AskYesNo(t.download->GetLocalPath() + " exists. Overwrite it? [y/N] ", QuestionCancel());
        }
        if (yes) {
            t.answeredAt = when;
            t.download->Overwrite();
        } else {
            Finish(t, false, StatusText(DS_TGT_FILE_EXISTS));
        }
    } else if (reason == DS_UNAUTHORIZED) {
        t.answeredAt = when;
        // The site's stored login, not tried yet, answers first (a resumed download may have
        // asked the server before that login reached it).
        if (AnswerWithSiteLogin(t.download.Get())) return;
        if (interactive_) {
            AskLogin(t);
        } else {
            t.download->CancelAuthorization();
            Finish(t, false, StatusText(DS_UNAUTHORIZED));
        }
    } else {
        Finish(t, false, StatusText(reason));
    }
}

void CGetSession::Evaluate(STracked& t) {
    IDownload* d = t.download.Get();
    DownloadStatus st = d->GetStatus();
    DownloadStatus sup = d->GetSuperStatus();
    if (d->IsFinished() || st == DS_NOT_MODIFIED) {
        Finish(t, true, "");
    } else if (st == DS_WAIT_FOR_USER) {
        AnswerWaiting(t, sup);
    } else if (st == DS_TEMPORARILY_UNAVAILABLE) {
        // The downloader retries it by itself after 30 s.
    } else if (d->IsFailed()) {
        Finish(t, false, StatusText(IsFailedStatus(st) ? st : sup));
    } else if (st == DS_PAUSED && d->GetStatusTime() != t.answeredAt) {
        t.answeredAt = d->GetStatusTime();
        d->Resume();
    }
}

void CGetSession::PrintVerbose() {
    auto lines = sink_.TakeLines();
    if (lines.empty()) return;
    progress_.Clear();
    for (auto& line : lines) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        std::cerr << line << "\n";
    }
    std::cerr.flush();
}

void CGetSession::Render() {
    if (options_.fetch.quiet || options_.json) return;
    if (!progress_.Live()) {
        // Each download has its own pace, and a line at once when its status changes.
        for (auto& t : tracked_) {
            if (t.done) continue;
            DownloadStatus st = t.download->GetStatus();
            if (t.pace.Due(st != t.shownStatus)) {
                t.shownStatus = st;
                std::cout << PlainLine(Snapshot(t.download.Get(), t.address)) << "\n";
            }
        }
        std::cout.flush();
        return;
    }
    std::vector<std::string> lines;
    for (auto& t : tracked_)
        if (!t.done) lines.push_back(TerminalLine(Snapshot(t.download.Get(), t.address), progress_.Columns()));
    progress_.ShowLines(lines);
}

void CGetSession::OnTick() {
    PrintVerbose();
    bool all = true;
    for (auto& t : tracked_) {
        if (!t.done) Evaluate(t);
        all = all && t.done;
    }
    if (all) {
        progress_.Clear();
        allDone_ = true;
        app_->App().Quit();
        return;
    }
    Render();
}

int CGetSession::Run() {
    std::vector<std::string> addresses;
    bool addressesOk = CollectAddresses(addresses);
    // No address at all: the saved list is continued.
    const bool continuing = options_.urls.empty() && options_.input.empty();
    if (addresses.empty() && !continuing) return kExitUsage;
    if (!PrepareFolder() || !ApplyTlsOptions(options_.tls)) return kExitFailed;
    if (!CheckFetchOptions(options_.fetch) || !TakePassword()) return kExitUsage;
    if (!continuing)
        if (auto running = FindRunningPlover(ctx_)) {
            WarnCookiesStayHere(options_.cookies);
            return RunGetThrough(*running, addresses, folder_, options_.priority);
        }
    if (!ApplyCookieOptions(options_.cookies)) return kExitUsage;
    CTerminalListProgress listProgress;  // a long list loads during the start-up
    // The list loads while the engines start: none of its downloads may run before this run has
    // said which are its own.
    HoldLoadedDownloads(true);
    app_ = std::make_unique<CCliApp>(ctx_);
    if (!app_->Start(CCliApp::kEngines)) return kExitFailed;
    WarnWhenUnverified();
    int32_t savedMode = GetSettings().eTrafficMode;
    if (options_.mode >= 0) GetSettings().eTrafficMode = options_.mode;  // this run only
    CRunFetchSettings runSettings;
    runSettings.Apply(options_.fetch, addresses.empty() ? std::string() : addresses.front());
    downloader_ = DownloaderOrSay();
    if (!downloader_) return kExitFailed;
    // The ticker runs from here on, so that no change is missed; its ticks wait in the queue
    // until the message loop below takes them.
    ticker_ = std::make_unique<CWindowTicker>(app_->App().MainWindow(), WM_GET_TICK, kTickMs);
    sink_.SetTicker(ticker_.get());
    downloader_->Advise(&sink_);
    // The start-up loads the list (the basket engine asks for it); without that, it is loaded
    // here. Loading it again would replace downloads that others already hold.
    auto* engine = dynamic_cast<CDownloader*>(downloader_.Get());
    if (!engine || !engine->HasList()) downloader_->LoadList(nullptr);
    std::unique_ptr<CDownloadArray> array(downloader_->GetDownloadArray(nullptr));  // after the load
    std::vector<RefPtr<IDownload>> listed;
    for (IDownload* d : *array) listed.emplace_back(d);
    array.reset();
    for (const std::string& a : addresses) Adopt(a, listed);
    if (continuing) ContinueList(listed);
    listed.clear();
    // The answers posted above (resume, retry, a stored login) run before the first look at a
    // status: a waiting call returns after everything posted before it.
    RefPtr<IDownload> none;
    downloader_->FindDownloadByID(-1, none.Put());

    app_->RunUntilQuit([this](const SWindowMessage& m) {
        if (m.msg == WM_GET_TICK && !allDone_) OnTick();
    });
    // Once unadvised, no call of the sink is under way: the ticker it nudges can go.
    downloader_->Unadvise(&sink_);
    ticker_.reset();
    PrintVerbose();
    progress_.Clear();

    int failed = 0, unfinished = 0;
    for (auto& t : tracked_) {
        failed += t.done && !t.ok;
        unfinished += !t.done;
    }
    if (options_.json)
        WriteJsonLine(std::cout, {{"type", "summary"},
                                  {"downloads", tracked_.size()},
                                  {"finished", tracked_.size() - failed - unfinished},
                                  {"failed", failed},
                                  {"interrupted", !allDone_}});
    if (!allDone_)
        std::cerr << "Interrupted: " << unfinished << (unfinished == 1 ? " download" : " downloads")
                  << " saved; run the same command again to continue.\n";
    else if (failed)
        std::cerr << failed << " of " << tracked_.size() << " downloads failed.\n";

    tracked_.clear();
    downloader_.Reset();
    GetSettings().eTrafficMode = savedMode;
    runSettings.Restore();
    bool saved = app_->Stop();
    app_.reset();
    saved = SaveCookiesAsAsked(options_.cookies) && saved;
    if (!allDone_) return kExitInterrupted;
    return (!saved || failed || !addressesOk) ? kExitFailed : kExitOk;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SGetOptions>();
    auto* cmd = app.add_subcommand("get", "Download files by address (HTTP, HTTPS or FTP), resumably, in several sections");
    cmd->add_option("URL", options->urls, "Addresses to download");
    cmd->add_option("-P,--folder", options->folder, "Save into DIR (default: the current folder)")->type_name("DIR");
    cmd->add_option("-o,--output", options->output, "Save the one address given as FILE")->type_name("FILE");
    cmd->add_option("--priority", options->priority, "Priority 0-10 (10 always runs)")->check(CLI::Range(0, 10));
    cmd->add_option("--mode", options->mode, "Traffic mode for this run: 0 fast, 1 medium, 2 slow")
        ->check(CLI::Range(0, 2));
    cmd->add_option("-i,--input", options->input, "Read addresses from FILE, one a line (-: standard input)")
        ->type_name("FILE");
    cmd->add_flag("--overwrite", options->overwrite, "Overwrite existing target files without asking");
    cmd->add_flag("-v,--verbose", options->verbose, "Print the protocol log (requests, headers, connects, closes, TLS)");
    cmd->add_option("--sections", options->sections,
                    "Fetch each file in at most N sections at once (within the traffic mode's maximum)")
        ->check(CLI::Range(1, 100))
        ->type_name("N");
    cmd->add_option("--user", options->user, "Log in as NAME (the password from --password or asked)")->type_name("NAME");
    cmd->add_option("--password", options->password, "The password for --user (visible to other users: prefer --ask-password)")
        ->type_name("PASSWORD");
    cmd->add_flag("--ask-password", options->askPassword, "Ask for the password of --user on the terminal, without echo");
    cmd->add_option("--referer", options->referer, "Send this address as the referring page")->type_name("URL");
    AddFetchOptions(cmd, options->fetch);
    cmd->add_flag("--json", options->json, "One JSON object a line: each download at its end, then a summary");
    AddTlsOptions(cmd, options->tls);
    AddCookieOptions(cmd, options->cookies);
    cmd->callback([options, &ctx] {
        CGetSession session(ctx, *options);
        ctx.exitCode = session.Run();
    });
}

CommandRegistrar registrar("get", Setup);

}  // namespace
}  // namespace plover::cli
