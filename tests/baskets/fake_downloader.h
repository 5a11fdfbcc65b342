#pragma once
// A downloader stand-in for dispatch tests: AddDownload keeps a copy of each configuration and
// answers with a scripted download, refusing an address it already holds, as the downloader does.
#include <vector>

#include "download/fake_download.h"
#include "download/i_downloader.h"

namespace plover::test {

class FakeDownloader final : public IDownloader {
public:
    std::vector<SDownloadConfig> added;
    std::vector<RefPtr<FakeDownload>> downloads;

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid == IID_IUnknown || iid == IID_IDownloader) {
            *out = static_cast<IDownloader*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }

    void AddDownloadThen(SDownloadConfig* config, std::function<void(IDownload*)> then) override {
        RefPtr<IDownload> d;
        AddDownload(config, nullptr, d.Put());
        if (then) then(d.Get());
    }
    void AddDownload(SDownloadConfig* config, int* idOut, IDownload** out) override {
        for (const auto& a : added)
            if (a.URL_remote == config->URL_remote) {
                if (idOut) *idOut = -1;
                if (out) *out = nullptr;
                delete config;
                return;
            }
        added.push_back(*config);
        auto d = FakeDownload::Make(config->Prior, DS_PAUSED);
        d->config = *config;
        downloads.push_back(d);
        if (idOut) *idOut = int(added.size());
        if (out) *out = RefPtr<IDownload>(d.Get()).Detach();
        delete config;
    }

    int GetDownloadCount() override { return int(added.size()); }
    int GetFinishedCount() override { return 0; }
    int GetActiveCount() override { return 0; }
    int GetPausedCount() override { return 0; }
    int GetFailedCount() override { return 0; }
    int GetUseCount() override { return 0; }
    void Reschedule() override {}
    void Notify(uint32_t, uintptr_t, uintptr_t) override {}
    void LoadList(const char*) override {}
    void SaveList(const char*) override {}
    bool Advise(INetAdviseSink*) override { return true; }
    bool Unadvise(INetAdviseSink*) override { return true; }
    uint8_t HasAutoRetryDownloads() override { return 0; }
    void ExportUrls(const char*) override {}
    void ImportUrls(const char*) override {}
    void AddUse() override {}
    void ReleaseUse() override {}
    bool GetDownload(int, IDownload**) override { return false; }
    void AddUrl(const char*, uint8_t) override {}
    bool FindDownloadByID(int, IDownload**) override { return false; }
    void RefreshView() override {}
    void PostDownloadArray(HWND, DownloadFilterFn) override {}
    CDownloadArray* GetDownloadArray(DownloadFilterFn) override { return new CDownloadArray(); }
    int GetFreeID() override { return 0; }
    void SetSaveFilter(DownloadFilterFn) override {}
};

}  // namespace plover::test
