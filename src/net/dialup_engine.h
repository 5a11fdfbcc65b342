#pragma once
// The dial-up engine brings up the network connection named by the setting "csActiveDialUp"
// when asked, retries it at fixed intervals up to a number of attempts, hangs it up on request,
// and reports through the network layer's reports (net_reports.h): its log lines (dialling,
// established, disconnected, failed) and the established connection, on which the downloader
// retries the downloads that waited for it. The system side is an IDialer (dialer.h).
//
// A dial request (maximum attempts, seconds between them: SAutoDial's "Times" and "Sec") is the
// job in force until a dial succeeds or its attempts are used up. One attempt:
//   1. count it; no entry chosen -> it did not start
//   2. the entry's stored dial parameters (an unknown entry -> it did not start)
//   3. the stored user name and password of the settings, when their use flags are set
//   4. no password anywhere -> ask the user (the login prompt; "remember" stores both in the
//      settings with their use flags); a cancel ends the attempt without touching the interval
//   5. the entry's phone number (unreadable -> it did not start)
//   6. log "Dialing ..." and start the dial; its outcome comes back as DUOP_DIAL_RESULT
//   7. an attempt that did not start: clear the request once its attempts are used up
// A 500 ms timer dials again while a request is in force, nothing is being dialled, and more than
// the request's interval has passed since the last attempt ended. With automatic dialling on
// ("AutoDial" "On"), the engine hands itself a request when it starts and the entry is not
// connected.
//
// States: 0 idle, 1 dialling, 2 hanging up. Everything runs on the engine thread except
// FindActiveConnection, HasRequest and GetState (any thread) and the dialer's notification,
// which only posts 403 to the engine registered under ENGINE_ID_DIALUP.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/settings.h"
#include "net/net_reports.h"
#include "engine/engine.h"
#include "engine/engine_mgr.h"
#include "net/dialer.h"

namespace plover {

inline constexpr GUID IID_IDialUpEngine = MakeGuid("2A3DEE44-EA99-4906-9E81-C5FC5943B293");

// A dial job: the most attempts, then the seconds between them.
struct SDialRequest {
    uint32_t maxAttempts = 25;
    uint32_t intervalSec = 20;
};

enum EDialUpState : uint32_t { DIALUP_IDLE = 0, DIALUP_DIALLING = 1, DIALUP_HANGING_UP = 2 };

enum EDialUpOp : uint32_t {
    DUOP_DIAL = 401,           // record SDialRequest
    DUOP_HANG_UP = 402,
    DUOP_DIAL_RESULT = 403,    // arg1 = success
    DUOP_CLEAR_REQUEST = 404,
};

constexpr uint32_t kDialUpTimerMs = 500;
// The longest a hang-up waits for the connection to go away, in steps of 100 ms.
constexpr uint32_t kHangUpWaitMs = 5000;
constexpr uint32_t kHangUpStepMs = 100;

inline constexpr const char* kDialUpEstablishedText = "Dial-Up connection established";
inline constexpr const char* kDialUpFailedText = "Dial-Up failed";
inline constexpr const char* kDialUpDisconnectedText = "Dial-Up connection disconnected";
std::string DialingText(const std::string& entry);  // "Dialing NAME"

struct IDialUpEngine : IUnknown {
    // Posts 401 with the request (no wait); the engine owns it from now on.
    virtual void Dial(SDialRequest* request) = 0;
    // Without an active connection while dialling or hanging up: returns the state and does
    // nothing. Otherwise posts 402 (waiting if asked) and returns its result.
    virtual uint32_t HangUp(bool wait) = 0;
    virtual void ClearRequest() = 0;  // posts DUOP_CLEAR_REQUEST
    // Looks for the active connection of "csActiveDialUp" and keeps its handle (none when not
    // found); false at once when no entry is chosen.
    virtual bool FindActiveConnection() = 0;
    virtual bool HasRequest() = 0;
    virtual uint32_t GetState() = 0;

protected:
    ~IDialUpEngine() = default;
};

// The user-name and password question, asked on the engine thread: the user name comes filled
// in and "remember" ticked; false when the user cancels.
struct SDialUpLogin {
    std::string userName;
    std::string password;
    bool remember = true;
};
using DialUpLoginPrompt = std::function<bool(const std::string& entry, SDialUpLogin& login)>;
// The front end's question for every dial-up engine of the process; none answers as a cancel.
void SetDialUpLoginPrompt(DialUpLoginPrompt prompt);

class CDialUpEngine final : public CEngine, public IDialUpEngine {
public:
    // The system dialer, the process-wide engine manager and settings, the system clock.
    CDialUpEngine();
    // Tests: their own dialer, manager (which must outlive the engine), settings and clock.
    CDialUpEngine(std::unique_ptr<IDialer> dialer, IEngineMgr* mgr, CRegistrySettings* settings,
                  ITimerClock* clock = nullptr);

    // Replaces the process-wide login prompt for this engine; call before Start.
    void SetLoginPrompt(DialUpLoginPrompt prompt) { prompt_ = std::move(prompt); }

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }
    // IDialUpEngine
    void Dial(SDialRequest* request) override;
    uint32_t HangUp(bool wait) override;
    void ClearRequest() override;
    bool FindActiveConnection() override;
    // A dial asked for and still on its way to the engine counts: a caller looking at once after
    // Dial sees its job.
    bool HasRequest() override { return hasRequest_.load() || dialsOnTheWay_.load() > 0; }
    uint32_t GetState() override { return state_.load(); }

protected:
    ~CDialUpEngine() override = default;
    void OnStart() override;
    void OnStop() override;
    uint32_t OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) override;
    void OnTimer(TIMER_INFO* timer) override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;

private:
    void TakeRequest(std::unique_ptr<SDialRequest> request);
    void DialNow();
    bool AskLogin(SDialParams& params);
    void AttemptNotStarted();
    void OnDialResult(bool success);
    void DoHangUp();
    void DropRequest();
    bool AttemptsUsedUp() const;
    void Log(const std::string& text, uint32_t kind);
    uint32_t Now() { return clock_->Now(); }

    std::unique_ptr<IDialer> dialer_;
    IEngineMgr* mgr_;
    CRegistrySettings* settings_;
    ITimerClock* clock_;
    DialUpLoginPrompt prompt_;

    std::unique_ptr<SDialRequest> request_;  // the dial job in force
    std::atomic<bool> hasRequest_{false};
    std::atomic<int> dialsOnTheWay_{0};  // posted by Dial, not yet taken up
    std::atomic<uint32_t> state_{DIALUP_IDLE};
    std::atomic<DialConnection> connection_{0};
    int32_t attempts_ = 0;
    uint32_t lastAttempt_ = 0;
    TIMER_INFO* timer_ = nullptr;
};

}  // namespace plover
