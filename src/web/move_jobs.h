#pragma once
// CMoveJobs: the basket window's "move files into a folder", run by the move job of the baskets
// layer (baskets/move_files.h) on a worker thread of its own, one job at a time. The job reports
// to this object as to its progress window, and every open page hears the state as "move" events:
// at once when the phase, the file or the question changes, at most ten times a second while bytes
// are copied.
//
// A conflict ("Target File Exists") holds the worker until a page answers it ("Overwrite",
// "Overwrite All", "Skip", "Skip All"), the job is cancelled or the server stops; those two count
// as "Skip". The history follows every moved file (RenamePath), as the job tells it.
//
//   {"id":N, "phase":"counting|moving|conflict|done", "files":N, "counted":N, "totalKiB":N,
//    "doneKiB":N, "current":PATH, "target":FOLDER, "conflict":{"source","target"}?,
//    "messages":[...], "moved":N, "skipped":N, "errors":[...], "cancelled":bool,
//    once done: "movedFiles":[[FROM,TO]...], "skippedFiles":[...]}
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "baskets/move_files.h"
#include "web/event_hub.h"

namespace plover::web {

// The answer of that text ("Overwrite", ...), or none.
std::optional<EConflictAnswer> ConflictAnswerOf(const std::string& text);

class CMoveJobs final : public IWindow, private IMoveConflict {
public:
    CMoveJobs(CEventHub& hub, CDownloadDB* db) : hub_(hub), db_(db) {}
    ~CMoveJobs() { Stop(); }
    CMoveJobs(const CMoveJobs&) = delete;
    CMoveJobs& operator=(const CMoveJobs&) = delete;

    // Starts moving `files` into `folder` (both checked by the caller). False when a job is
    // already running (or the server is stopping).
    bool Start(std::vector<std::string> files, const std::string& folder, uint64_t& id);
    // False when job `id` is not asking.
    bool Answer(uint64_t id, EConflictAnswer answer);
    // False when job `id` is not running.
    bool Cancel(uint64_t id);
    // The state of the running or last job; null when none ran.
    nlohmann::json State();
    // Cancels a running job and waits for its worker.
    void Stop();

    // The job's progress messages (on the worker thread).
    bool PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) override;

private:
    EConflictAnswer TargetExists(const std::string& source, const std::string& target) override;
    void CantDelete(const std::string& path) override;
    void Run();
    nlohmann::json StateLocked() const;
    // Publishes the state; without `force` at most every 100 ms. Called under lock_.
    void PublishLocked(bool force);

    CEventHub& hub_;
    CDownloadDB* db_;
    std::mutex lock_;
    std::condition_variable asked_;
    std::thread worker_;
    std::unique_ptr<SMoveJob> job_;
    bool stopping_ = false;
    bool running_ = false;
    uint64_t nextId_ = 1;

    // The state shown, guarded by lock_.
    uint64_t id_ = 0;
    std::string phase_;
    uint64_t files_ = 0, counted_ = 0, totalKiB_ = 0, doneKiB_ = 0;
    int ranges_ = 0;  // range messages heard: the count, then the total
    std::string current_;
    std::optional<std::pair<std::string, std::string>> conflict_;
    std::optional<EConflictAnswer> answer_;
    std::vector<std::string> messages_;
    SMoveReport report_;
    uint64_t lastPublishMs_ = 0;
};

}  // namespace plover::web
