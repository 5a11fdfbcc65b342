#include "download/downloader_net_reports.h"

#include "download/i_downloader.h"
#include "engine/engine_mgr.h"

namespace plover {
namespace {

static_assert(kLogDialUpEstablished == LOG_DIALUP_UP && kLogDialUpDisconnected == LOG_DIALUP_DOWN &&
              kLogDialUpFailed == LOG_DIALUP_FAILED);

class CDownloaderNetReports final : public INetReports {
public:
    void OnTrafficReceived(uint32_t bytes) override { Tell(NE_TRAFFIC, bytes, 0); }
    void OnProxySettingsChanged() override { Tell(NE_PROXY_CHANGED, 0, 0); }
    void OnDialUpLog(const char* text, uint32_t kind) override {
        Tell(NE_LOG, reinterpret_cast<uintptr_t>(text), kind);
    }
    void OnDialUpEstablished() override { Tell(NE_DIALUP_ESTABLISHED, 0, 0); }

private:
    static void Tell(uint32_t code, uintptr_t value1, uintptr_t value2) {
        RefPtr<IEngine> engine;
        if (!GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put())) return;
        if (auto downloader = QueryAs<IDownloader>(engine.Get(), IID_IDownloader))
            downloader->Notify(code, value1, value2);
    }
};

}  // namespace

INetReports* DownloaderNetReports() {
    static CDownloaderNetReports receiver;
    return &receiver;
}

}  // namespace plover
