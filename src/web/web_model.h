#pragma once
// CWebModel: the web front end as a downloader sink and a window. Engine threads only touch it
// through OnNetNotify and PostMessage, which note what changed under a short lock and return: no
// JSON is built and nothing waits there. The server's pump thread calls Pump() every 100 ms,
// which turns the notes into events for the browser (each changed download at most once per
// pump, log lines in batches, the traffic figures once a second); Snapshot() is what a
// (re)connecting page gets first.
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "download/i_download.h"
#include "download/i_downloader.h"
#include "platform/window.h"
#include "web/event_hub.h"

namespace plover::web {

class CWebModel final : public INetAdviseSink, public IWindow {
public:
    static constexpr size_t kLogLines = 2000;  // kept for snapshots

    CWebModel(CEventHub& hub, RefPtr<IDownloader> downloader) : hub_(hub), downloader_(std::move(downloader)) {}

    // INetAdviseSink; the model outlives its registration (the server unadvises it first).
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override;
    // IWindow: messages posted by engines (heap parameters are taken and freed on the pump).
    bool PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) override;

    // On the pump thread: publishes what changed since the last call; nowMs is a steady clock.
    void Pump(uint64_t nowMs);
    // {"downloads":[...],"order":[ids],"traffic":{...},"log":[...]}
    nlohmann::json Snapshot();
    nlohmann::json Traffic();
    IDownloader* Downloader() { return downloader_.Get(); }
    // A download of the list by its ID (counted), or null.
    RefPtr<IDownload> FindDownload(int id);

private:
    struct SLogLine {
        uint64_t seq;
        uint32_t kind;
        std::string text;
    };
    void TakeMessages();

    CEventHub& hub_;
    RefPtr<IDownloader> downloader_;
    std::mutex lock_;  // guards the notes below, held only to note or take them
    std::map<int, RefPtr<IDownload>> changed_;
    std::set<int> removed_;
    bool orderChanged_ = false;
    std::deque<SLogLine> newLog_;
    std::deque<SWindowMessage> messages_;
    std::mutex logLock_;  // the kept log lines
    std::deque<SLogLine> log_;
    uint64_t nextSeq_ = 1;
    std::atomic<uint64_t> trafficBytes_{0};
    uint64_t lastTrafficMs_ = 0;
    std::atomic<uint32_t> speed_{0};  // read by request threads
};

}  // namespace plover::web
