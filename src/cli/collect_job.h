#pragma once
// Collections and basket drops run by the running program for commands of other processes (`plover collect`
// while `plover ui` runs in the same home). Each job has a window and a thread of its own that
// take the scan's and the basket session's messages, as `plover collect` does alone; the command
// reads the job's progress line and, at its end, the summary and the exit status.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

namespace plover::cli {

class CCollectJobs {
public:
    CCollectJobs();
    ~CCollectJobs();  // stops every job and waits for it

    // {"url","basket","profile"?,"reload"?,"json"?,"colour"?}, or with "kind":"drop"
    // {"basket","urls":[...],"referrer"?,"json"?,"colour"?} (addresses dropped into the basket, as
    // `plover basket drop` does): {"job": ID}; status 4xx with {"error"} when refused.
    nlohmann::json Start(const nlohmann::json& body, int& status);
    // {"progress", "done", and when done "summary", "errors", "exitCode"}.
    nlohmann::json State(int id, int& status);

private:
    struct SJob;
    nlohmann::json StartDrop(const nlohmann::json& body, int& status);
    nlohmann::json Begin(const std::shared_ptr<SJob>& job, int& status);
    std::mutex lock_;
    std::map<int, std::shared_ptr<SJob>> jobs_;
    int next_ = 1;
};

}  // namespace plover::cli
