// plover move: moves the file of a download in the list into another folder, with its progress,
// and keeps the download pointing at it. The download is named by its number or its address.
//
// The move is the download's own (MoveTo): the file relocator renames the file when the folder is
// on the same filesystem (at once) and otherwise copies it block by block, then removes the
// source. A failed move leaves the file where it was. Downloads of the list that are not being
// moved are paused while the command runs and let go again at its end.
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "cli/cli_kit.h"
#include "cli/app_session.h"
#include "cli/command.h"
#include "cli/download_format.h"
#include "cli/terminal.h"
#include "cli/window_ticker.h"
#include "download/download_status.h"
#include "download/i_download.h"
#include "download/i_downloader.h"
#include "platform/tick.h"

namespace plover::cli {
namespace {

constexpr uint32_t WM_MOVE_TICK = WM_APP + 0x7A1;
constexpr uint32_t kTickMs = 100;

struct SMoveOptions {
    std::string which;   // the download's number or address
    std::string folder;  // where its file goes
    bool yes = false;    // replace a file of the same name there without asking
};

bool IsNumber(const std::string& s) {
    return !s.empty() && s.size() < 10 && s.find_first_not_of("0123456789") == std::string::npos;
}

class CMoveSession {
public:
    CMoveSession(CliContext& ctx, const SMoveOptions& options)
        : ctx_(ctx), options_(options) {}
    int Run();

private:
    bool PrepareFolder();
    RefPtr<IDownload> Find(const std::vector<RefPtr<IDownload>>& listed);
    bool MayReplace(const std::string& target);
    void PauseOthers(const std::vector<RefPtr<IDownload>>& listed);
    void OnTick();
    void ShowProgress(bool force);

    CliContext& ctx_;
    SMoveOptions options_;
    CProgressLine progress_{STDOUT_FILENO};
    std::string folder_;
    std::unique_ptr<CCliApp> app_;
    RefPtr<IDownloader> downloader_;
    RefPtr<IDownload> download_;
    std::vector<RefPtr<IDownload>> pausedOthers_;
    bool ended_ = false;
};

bool CMoveSession::PrepareFolder() {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(options_.folder, ec);
    if (!ec) std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        Complain() << "cannot use the folder " << options_.folder << (ec ? ": " + ec.message() : "") << "\n";
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

RefPtr<IDownload> CMoveSession::Find(const std::vector<RefPtr<IDownload>>& listed) {
    bool byNumber = IsNumber(options_.which);
    for (const auto& d : listed) {
        if (byNumber ? d->GetID() == std::stoi(options_.which)
                     : d->GetOriginalUrl() == options_.which || d->GetRemoteUrl() == options_.which)
            return d;
    }
    return {};
}

// A file of the same name in the folder is replaced only when the user says so.
bool CMoveSession::MayReplace(const std::string& target) {
    std::error_code ec;
    if (!std::filesystem::exists(target, ec) || options_.yes) return true;
    if (StdinIsTerminal())
        return AskYesNo(target + " exists. Replace it? [y/N] ", [] { return false; });
    Complain() << target << " exists (--yes replaces it)\n";
    return false;
}

void CMoveSession::PauseOthers(const std::vector<RefPtr<IDownload>>& listed) {
    for (const auto& d : listed) {
        if (d.Get() == download_.Get() || d->IsFinished() || d->IsPaused() || !d->CanPause()) continue;
        d->Pause();
        pausedOthers_.push_back(d);
    }
}

void CMoveSession::ShowProgress(bool force) {
    uint32_t done = 0, total = 0;
    download_->GetTraffic(&done, &total);
    std::string text = download_->GetFileName() + ": moving, " + FormatBytes(done) + " of " + FormatBytes(total);
    if (progress_.Live()) {
        int pct = total ? int(uint64_t(done) * 100 / total) : 0;
        progress_.Show(text + "  " + ProgressBar(total ? double(done) / total : 0.0, 30) + " " + std::to_string(pct) + "%");
    } else if (force || total != 0) {
        progress_.Show(text, force);
    }
}

void CMoveSession::OnTick() {
    if (download_->GetStatus() == DS_MOVING) {
        ShowProgress(false);
        return;
    }
    ended_ = true;
    app_->App().Quit();
}

int CMoveSession::Run() {
    if (!PrepareFolder()) return kExitFailed;
    app_ = std::make_unique<CCliApp>(ctx_);
    if (!app_->Start(CCliApp::kEngines)) return kExitFailed;
    downloader_ = DownloaderOrSay();
    if (!downloader_) return kExitFailed;
    downloader_->LoadList(nullptr);
    std::vector<RefPtr<IDownload>> listed;
    {
        std::unique_ptr<CDownloadArray> array(downloader_->GetDownloadArray(nullptr));
        if (array)
            for (IDownload* d : *array) listed.emplace_back(d);
    }
    download_ = Find(listed);
    if (!download_) return Refuse(kExitFailed, "no download " + options_.which + " in the list");
    std::string id = std::to_string(download_->GetID());
    if (download_->GetStatus() == DS_MOVING)
        return Refuse(kExitFailed, "the file of download " + id + " is being moved already");
    std::string source = download_->GetLocalPath();
    std::string target = folder_ + "/" + download_->GetFileName();
    // Only the download's own data is moved: a finished file (empty ones too) or the part that has
    // arrived. A download without either has no file to move, and one whose file has gone cannot
    // be moved either; neither is reported as moved.
    if (download_->GetFileName().empty() || (!download_->IsFinished() && download_->GetDownloaded() == 0))
        return Refuse(kExitFailed, "download " + id + " has no file yet; nothing to move");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(source, ec))
        return Refuse(kExitFailed, "the file of download " + id + " is missing: " + source);
    if (target == source) {
        std::cout << "Nothing to move: " << source << "\n";
        return 0;
    }
    if (!MayReplace(target)) return kExitFailed;
    PauseOthers(listed);
    listed.clear();
    download_->MoveTo(folder_, true);
    // The move has begun (or ended at once) when a waiting call returns: it runs after the
    // operation posted before it.
    RefPtr<IDownload> none;
    downloader_->FindDownloadByID(-1, none.Put());
    {
        CWindowTicker ticker(app_->App().MainWindow(), WM_MOVE_TICK, kTickMs);
        app_->RunUntilQuit([this](const SWindowMessage& m) {
            if (m.msg == WM_MOVE_TICK && !ended_) OnTick();
        });
    }
    progress_.Clear();
    for (auto& d : pausedOthers_) d->Resume();
    pausedOthers_.clear();

    int status = 0;
    if (!ended_) {
        std::cerr << "Interrupted: the file stays at " << source << "\n";
        status = kExitInterrupted;
    } else if (download_->GetStatus() == DS_MOVING_FAILED) {
        status = Refuse(kExitFailed, "moving " + source + " to " + folder_ + " failed; the file stays where it was");
    } else {
        if (!progress_.Live()) ShowProgress(true);
        std::cout << "Moved to " << download_->GetLocalPath() << "\n";
    }
    download_.Reset();
    downloader_.Reset();
    bool saved = app_->Stop();
    app_.reset();
    if (status == kExitOk && !saved) return kExitFailed;
    return status;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SMoveOptions>();
    auto* cmd = app.add_subcommand("move", "Move the file of a download in the list into another folder");
    cmd->add_option("DOWNLOAD", options->which, "The download's number (see plover list) or address")->required();
    cmd->add_option("FOLDER", options->folder, "The folder to move the file into (made when missing)")->required();
    cmd->add_flag("--yes", options->yes, "Replace a file of the same name in the folder without asking");
    cmd->callback([options, &ctx] {
        CMoveSession session(ctx, *options);
        ctx.exitCode = session.Run();
    });
}

CommandRegistrar registrar("move", Setup);

}  // namespace
}  // namespace plover::cli
