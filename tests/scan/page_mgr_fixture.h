#pragma once
// What the page manager's tests share:
//  - CPageRecorder: an IPageStatusCallback that records every call and lets the test wait for them;
//  - CRunningPageMgr: a page manager started on a cache folder and stopped (index saved) at the
//    end of its scope, like one run of the program;
//  - StartLiveEngines(): the program's socket engine and downloader, registered once in the
//    process-wide engine manager (reused when already there), with an empty download list; they
//    stop in order when the test program ends;
//  - cache folder fixtures: index files written by the test, files with chosen ages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/settings.h"
#include "download/downloader.h"
#include "engine/engine_end_watch.h"
#include "engine/engine_mgr.h"
#include "net/socket_engine.h"
#include "platform/event.h"
#include "scan/cache_index.h"
#include "scan/page_mgr.h"
#include "testutil/temp_dir.h"

namespace plover::test {

class CPageRecorder final : public IPageStatusCallback {
public:
    struct SCall {
        char kind;  // 'C' complete, 'F' failed, 'W' waiting
        RefPtr<IWebFile> file;
        std::string path, effective, status;  // as they stood at the call
    };

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid == IID_IUnknown || iid == IID_IPageStatusCallback) {
            *out = static_cast<IPageStatusCallback*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack, longer than every web file that refers to it.
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnPageComplete(IWebFile* f) override { Record('C', f); }
    void OnPageFailed(IWebFile* f) override { Record('F', f); }
    void OnPageWaiting(IWebFile* f) override { Record('W', f); }

    // Waits (generously) until at least n calls have arrived; false when they did not.
    bool WaitFor(size_t n) {
        std::unique_lock l(lock_);
        return cv_.wait_for(l, std::chrono::seconds(60), [&] { return calls_.size() >= n; });
    }
    size_t Count() {
        std::lock_guard g(lock_);
        return calls_.size();
    }
    SCall At(size_t i) {
        std::lock_guard g(lock_);
        return calls_.at(i);
    }

private:
    void Record(char kind, IWebFile* f) {
        SCall c{kind, RefPtr<IWebFile>(f), f->GetLocalPath(), f->GetEffectiveURL(), f->GetStatusText()};
        std::lock_guard g(lock_);
        calls_.push_back(std::move(c));
        cv_.notify_all();
    }
    std::mutex lock_;
    std::condition_variable cv_;
    std::vector<SCall> calls_;
};

// One run of the page manager on `folder`: started at construction (after the settings that it
// reads are set), stopped at the end of the scope, which saves the index.
class CRunningPageMgr {
public:
    explicit CRunningPageMgr(const std::filesystem::path& folder, IEngineMgr* engines = nullptr) {
        GetSettings().csCacheFolder = folder.string();
        pm = CPageMgr::Create(engines);
        pm->SetProgress(&end_);
        pm->Start();
        pm->WaitUntilLoaded();
    }
    ~CRunningPageMgr() { Stop(); }
    void Stop() {
        if (!pm) return;
        pm->Stop();
        end_.ended.Wait();
        pm.Reset();
    }
    CPageMgr* operator->() const { return pm.Get(); }

    RefPtr<CPageMgr> pm;

private:
    CEngineEndWatch end_;
};

// The settings a test changes, put back as the program starts with them.
inline void ResetCacheSettings() {
    GetSettings().eCacheMode = 1;
    GetSettings().iMaxCacheSpace = 50;
}

// ---- the live engines ----

class CLiveEngines final : public ::testing::Environment {
public:
    // Starts them on first use; true when the downloader is there.
    static bool Start() {
        static bool started = [] {
            IEngineMgr* mgr = GetEngineMgr();
            RefPtr<IEngine> e;
            if (!mgr->GetEngine(ENGINE_ID_SOCKET, e.Put())) {
                auto sockets = RefPtr<IEngine>::Adopt(new CSocketEngine());
                mgr->RegisterEngine(ENGINE_ID_SOCKET, sockets.Get());
            }
            if (!mgr->GetEngine(ENGINE_ID_DOWNLOADER, e.Put())) {
                static TempDir data;
                auto dl = CDownloader::Create(data.Str());
                mgr->RegisterEngine(ENGINE_ID_DOWNLOADER, static_cast<IEngine*>(dl.Get()));
                dl->LoadList(nullptr);  // no file: an empty list
                ownStop() = true;
            }
            return mgr->GetEngine(ENGINE_ID_DOWNLOADER, e.Put());
        }();
        return started;
    }
    void TearDown() override {
        if (!ownStop()) return;
        CMessageQueueWindow window;
        GetEngineMgr()->StopAllEngines(&window);
        while (auto m = window.GetMessage(60000))
            if (m->msg == WM_PV_ENGINES_STOPPED) break;
    }

private:
    static bool& ownStop() {
        static bool own = false;
        return own;
    }
};
inline ::testing::Environment* const kLiveEngines = ::testing::AddGlobalTestEnvironment(new CLiveEngines);

// ---- cache folder fixtures ----

// Sets a file's last-write time to `hours` hours ago.
inline void SetAgeHours(const std::filesystem::path& file, double hours) {
    struct utimbuf t;
    t.actime = t.modtime = std::time(nullptr) - time_t(hours * 3600);
    ASSERT_EQ(::utime(file.c_str(), &t), 0) << file;
}

inline void WriteIndexFile(const std::filesystem::path& folder, const CCacheIndex& index) {
    WriteFile(folder / kCacheIndexName, index.Serialize());
}

inline CCacheIndex ReadIndexFile(const std::filesystem::path& folder) {
    CCacheIndex index;
    index.Parse(ReadFile(folder / kCacheIndexName));
    return index;
}

}  // namespace plover::test
