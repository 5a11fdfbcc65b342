#pragma once
// The engine manager is the registry through which the parts of the program find each other's
// engines. The front end creates each engine and registers it under its fixed identifier, which
// starts it; any part then finds an engine with GetEngine and asks it (QueryInterface) for the
// interface it needs. At exit StopAllEngines stops the engines one at a time, in reverse order of
// registration: an engine is told to stop only when every engine registered after it has ended
// (each reports OnComplete from its own thread), so the socket engine outlives everything that
// uses sockets. When the first-registered engine has ended, the table is emptied and the window
// receives WM_PV_ENGINES_STOPPED, exactly once. The manager is never started again.
//
// GetEngineMgr() returns the process-wide manager (never destroyed; AddRef/Release return 1).
// CEngineMgr itself is an ordinary class so that tests can use private instances; a manager must
// outlive the runs of the engines registered with it.
//
// Finding an engine:
//   RefPtr<IEngine> e;
//   if (GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, e.Put()))
//       auto dl = QueryAs<IDownloader>(e.Get(), IID_IDownloader);
#include <cstdint>
#include <vector>

#include "engine/containers.h"
#include "engine/engine.h"
#include "engine/sinks.h"
#include "platform/com.h"
#include "platform/window.h"

namespace plover {

inline constexpr GUID IID_IEngineMgr = MakeGuid("AB56C7AC-D4BB-40E4-8570-9EA460BF9A5F");
inline constexpr GUID IID_IProgress = MakeGuid("6ABF660D-D581-4A2D-9C5B-4D0437BBED47");

// Engine identifiers, in the order in which the front end registers the engines.
inline constexpr GUID ENGINE_ID_SOCKET = MakeGuid("9F259A60-58F0-4678-B717-C5E55F5382C6");
inline constexpr GUID ENGINE_ID_DOWNLOADER = MakeGuid("6C3A0C58-0889-4F22-AEAE-754DE66DB218");
inline constexpr GUID ENGINE_ID_PAGE_MGR = MakeGuid("167A3064-DC24-46A0-A73C-9434D2B6E418");
inline constexpr GUID ENGINE_ID_SCANNER = MakeGuid("BA81ED7A-99BD-4B58-ADD2-C9C1D06000A5");
inline constexpr GUID ENGINE_ID_BASKET = MakeGuid("8E441568-C60B-4F9F-8CBF-3ED604AC3352");
inline constexpr GUID ENGINE_ID_FILE_RELOCATOR = MakeGuid("C2735024-CC35-4792-9C5B-A6595BF3C3E4");
inline constexpr GUID ENGINE_ID_DIALUP = MakeGuid("34022100-DEE5-486F-8409-A5CF84234499");
inline constexpr GUID kEngineRegistrationOrder[] = {
    ENGINE_ID_SOCKET,  ENGINE_ID_DOWNLOADER,     ENGINE_ID_PAGE_MGR, ENGINE_ID_SCANNER,
    ENGINE_ID_BASKET, ENGINE_ID_FILE_RELOCATOR, ENGINE_ID_DIALUP,
};

// Posted to the notify window when the last engine has stopped; both parameters 0.
constexpr uint32_t WM_PV_ENGINES_STOPPED = WM_APP + 0x66;

struct IProgress : IUnknown {
    virtual void OnProgress(uint32_t a, uint32_t b, uint32_t c) = 0;
    virtual void OnProgressStep(uint32_t a, uint32_t b) = 0;
    // An engine's last act on its own thread: its loop has ended.
    virtual void OnComplete(IUnknown* who) = 0;

protected:
    ~IProgress() = default;
};

struct IEngineMgr : IUnknown {
    virtual bool IsRunning() = 0;
    // True and the engine with a reference added; false (out untouched) if not registered or out is null.
    virtual bool GetEngine(const GUID& id, IEngine** out) = 0;
    // False if the identifier is taken (the engine is not started); else holds it and starts it.
    virtual bool RegisterEngine(const GUID& id, IEngine* engine) = 0;
    virtual bool UnregisterEngine(const GUID& id) = 0;
    // Begins the orderly stop; a second call does nothing.
    virtual void StopAllEngines(HWND notify) = 0;

protected:
    ~IEngineMgr() = default;
};

// One row of the engine table; the row holds a reference to its engine.
struct SEngineInfo {
    GUID id;
    RefPtr<IEngine> engine;
    bool ended = false;  // the engine has reported OnComplete
};

class CEngineMgr final : public IEngineMgr, public IProgress {
public:
    CEngineMgr() = default;
    ~CEngineMgr();
    CEngineMgr(const CEngineMgr&) = delete;
    CEngineMgr& operator=(const CEngineMgr&) = delete;

    // IUnknown (shared by both interfaces)
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    // IEngineMgr
    bool IsRunning() override;
    bool GetEngine(const GUID& id, IEngine** out) override;
    bool RegisterEngine(const GUID& id, IEngine* engine) override;
    bool UnregisterEngine(const GUID& id) override;
    void StopAllEngines(HWND notify) override;
    // IProgress
    void OnProgress(uint32_t, uint32_t, uint32_t) override {}
    void OnProgressStep(uint32_t, uint32_t) override {}
    void OnComplete(IUnknown* who) override;

    size_t GetEngineCount() const;

private:
    struct SStopStep;
    ptrdiff_t FindRow(const GUID& id) const;
    void AdvanceStop(SStopStep& step);
    void FinishStep(SStopStep& step);

    std::vector<SEngineInfo> engines_;
    HWND notify_ = nullptr;
    int32_t stopIndex_ = -1;
    mutable CCriticalSection lock_;
    bool running_ = true;
    bool stopping_ = false;
};

// The process-wide manager, never destroyed.
IEngineMgr* GetEngineMgr();

}  // namespace plover
