#include "web/move_jobs.h"

#include <chrono>

namespace plover::web {
namespace {

uint64_t NowMs() {
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

std::string Dump(const nlohmann::json& j) { return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); }

}  // namespace

std::optional<EConflictAnswer> ConflictAnswerOf(const std::string& text) {
    if (text == kAnswerOverwrite) return EConflictAnswer::Overwrite;
    if (text == kAnswerOverwriteAll) return EConflictAnswer::OverwriteAll;
    if (text == kAnswerSkip) return EConflictAnswer::Skip;
    if (text == kAnswerSkipAll) return EConflictAnswer::SkipAll;
    return std::nullopt;
}

bool CMoveJobs::Start(std::vector<std::string> files, const std::string& folder, uint64_t& id) {
    std::unique_lock g(lock_);
    if (running_ || stopping_) return false;
    // The last job has ended; its worker is only finishing its return.
    if (worker_.joinable()) {
        g.unlock();
        worker_.join();
        g.lock();
        if (running_ || stopping_) return false;
    }
    job_ = std::make_unique<SMoveJob>();
    job_->files = std::move(files);
    job_->targetFolder = folder;
    job_->window = this;
    job_->conflict = this;
    job_->db = db_;
    id = id_ = nextId_++;
    phase_ = "counting";
    files_ = job_->files.size();
    counted_ = totalKiB_ = doneKiB_ = 0;
    ranges_ = 0;
    current_.clear();
    conflict_.reset();
    answer_.reset();
    messages_.clear();
    report_ = SMoveReport{};
    running_ = true;
    PublishLocked(true);
    worker_ = std::thread([this] { Run(); });
    return true;
}

void CMoveJobs::Run() {
    SMoveReport report = RunMoveJob(*job_);
    std::lock_guard g(lock_);
    if (!report.ran) messages_.push_back("Another move is under way; try again when it has ended.");
    report_ = std::move(report);
    phase_ = "done";
    conflict_.reset();
    current_.clear();
    running_ = false;
    PublishLocked(true);
}

bool CMoveJobs::Answer(uint64_t id, EConflictAnswer answer) {
    std::lock_guard g(lock_);
    if (!running_ || id != id_ || !conflict_ || answer_) return false;
    answer_ = answer;
    asked_.notify_all();
    return true;
}

bool CMoveJobs::Cancel(uint64_t id) {
    std::lock_guard g(lock_);
    if (!running_ || id != id_) return false;
    job_->cancel = true;
    asked_.notify_all();
    return true;
}

void CMoveJobs::Stop() {
    {
        std::lock_guard g(lock_);
        stopping_ = true;
        if (job_) job_->cancel = true;
        asked_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
}

nlohmann::json CMoveJobs::State() {
    std::lock_guard g(lock_);
    return id_ ? StateLocked() : nlohmann::json();
}

bool CMoveJobs::PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) {
    std::unique_ptr<std::string> path(msg == WM_PV_MOVE_STEP ? reinterpret_cast<std::string*>(lp) : nullptr);
    std::lock_guard g(lock_);
    bool force = false;
    switch (msg) {
        case WM_PV_MOVE_RANGE:
            // First the number of files, then (once their sizes are added up) the total in KiB.
            if (ranges_++ == 0) {
                files_ = wp;
            } else {
                totalKiB_ = wp;
                phase_ = "moving";
                force = true;
            }
            break;
        case WM_PV_MOVE_STEP:
            if (path) {
                current_ = *path;
                force = true;
            }
            if (ranges_ < 2)
                counted_ = wp;
            else
                doneKiB_ = wp;
            break;
        case WM_PV_MOVE_DONE: return true;  // the report follows when the job returns
        default: return false;
    }
    PublishLocked(force);
    return true;
}

EConflictAnswer CMoveJobs::TargetExists(const std::string& source, const std::string& target) {
    std::unique_lock g(lock_);
    conflict_.emplace(source, target);
    answer_.reset();
    phase_ = "conflict";
    PublishLocked(true);
    asked_.wait(g, [&] { return answer_ || job_->cancel || stopping_; });
    EConflictAnswer answer = answer_.value_or(EConflictAnswer::Skip);
    conflict_.reset();
    answer_.reset();
    phase_ = "moving";
    PublishLocked(true);
    return answer;
}

void CMoveJobs::CantDelete(const std::string& path) {
    std::lock_guard g(lock_);
    messages_.push_back(CantDeleteFileMessage(path));
    PublishLocked(true);
}

nlohmann::json CMoveJobs::StateLocked() const {
    nlohmann::json j = {{"id", id_},
                        {"phase", phase_},
                        {"files", files_},
                        {"counted", counted_},
                        {"totalKiB", totalKiB_},
                        {"doneKiB", doneKiB_},
                        {"current", current_},
                        {"target", job_ ? job_->targetFolder : std::string()},
                        {"messages", messages_},
                        {"moved", report_.moved.size()},
                        {"skipped", report_.skipped.size()},
                        {"errors", report_.errors},
                        {"cancelled", job_ && job_->cancel.load()}};
    if (conflict_) j["conflict"] = {{"source", conflict_->first}, {"target", conflict_->second}};
    if (phase_ == "done") {
        // What a command that handed the move here prints, file by file.
        nlohmann::json moved = nlohmann::json::array();
        for (const auto& [from, to] : report_.moved) moved.push_back({from, to});
        j["movedFiles"] = std::move(moved);
        j["skippedFiles"] = report_.skipped;
    }
    return j;
}

void CMoveJobs::PublishLocked(bool force) {
    uint64_t now = NowMs();
    if (!force && now - lastPublishMs_ < 100) return;
    lastPublishMs_ = now;
    hub_.Publish(SseEvent("move", Dump(StateLocked())));
}

}  // namespace plover::web
