#include "net/dialup_engine.h"

#include <mutex>

#include "platform/tick.h"

namespace plover {

namespace {

std::mutex& PromptLock() {
    static std::mutex lock;
    return lock;
}

DialUpLoginPrompt& ProcessPrompt() {
    static DialUpLoginPrompt prompt;
    return prompt;
}

// Asks the front end's question; no front end answers as a cancel.
bool AskProcessPrompt(const std::string& entry, SDialUpLogin& login) {
    DialUpLoginPrompt prompt;
    {
        std::lock_guard g(PromptLock());
        prompt = ProcessPrompt();
    }
    return prompt && prompt(entry, login);
}

}  // namespace

void SetDialUpLoginPrompt(DialUpLoginPrompt prompt) {
    std::lock_guard g(PromptLock());
    ProcessPrompt() = std::move(prompt);
}

std::string DialingText(const std::string& entry) { return "Dialing " + entry; }

CDialUpEngine::CDialUpEngine() : CDialUpEngine(CreateSystemDialer(), GetEngineMgr(), &GetSettings()) {}

CDialUpEngine::CDialUpEngine(std::unique_ptr<IDialer> dialer, IEngineMgr* mgr, CRegistrySettings* settings,
                             ITimerClock* clock)
    : dialer_(std::move(dialer)), mgr_(mgr), settings_(settings), clock_(clock ? clock : &SystemTimerClock()) {
    SetTimerClock(clock_);
}

HRESULT CDialUpEngine::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IDialUpEngine) {
        *out = static_cast<IDialUpEngine*>(this);
        AddRef();
        return S_OK;
    }
    return CEngine::QueryInterface(iid, out);
}

// ---- the interface (any thread) ----

void CDialUpEngine::Dial(SDialRequest* request) {
    if (!request) return;
    ++dialsOnTheWay_;
    PostOwned(this, DUOP_DIAL, std::unique_ptr<SDialRequest>(request));
}

uint32_t CDialUpEngine::HangUp(bool wait) {
    if (!FindActiveConnection() && state_ != DIALUP_IDLE) return state_;
    return Post(DUOP_HANG_UP, 0, 0, wait, false);
}

void CDialUpEngine::ClearRequest() { Post(DUOP_CLEAR_REQUEST, 0, 0, false, false); }

bool CDialUpEngine::FindActiveConnection() {
    const std::string& entry = settings_->csActiveDialUp;
    if (entry.empty()) return false;
    DialConnection handle = 0;
    bool found = FindEntryConnection(*dialer_, entry, handle);
    connection_ = handle;
    return found;
}

// ---- the engine thread ----

void CDialUpEngine::OnStart() {
    timer_ = StartTimer(kDialUpTimerMs);
    // Automatic dialling: a program that starts without its connection brings it up.
    const SAutoDial& autoDial = settings_->AutoDial;
    if (autoDial.On && !settings_->csActiveDialUp.empty() && !FindActiveConnection())
        TakeRequest(std::make_unique<SDialRequest>(SDialRequest{autoDial.Times, autoDial.Sec}));
}

void CDialUpEngine::OnStop() {
    // A dial still under way ends here; its outcome would find nobody to tell.
    dialer_->Shutdown();
}

uint32_t CDialUpEngine::OnOperation(uint32_t code, uintptr_t arg1, uintptr_t) {
    switch (code) {
        case DUOP_HANG_UP: DoHangUp(); break;
        case DUOP_DIAL_RESULT: OnDialResult(arg1 != 0); break;
        case DUOP_CLEAR_REQUEST: DropRequest(); break;
        default: break;
    }
    return 0;
}

uint32_t CDialUpEngine::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t) {
    if (code == DUOP_DIAL) {
        TakeRequest(record.Take<SDialRequest>());
        --dialsOnTheWay_;
    }
    return 0;
}

void CDialUpEngine::OnTimer(TIMER_INFO*) {
    if (!request_ || state_ != DIALUP_IDLE) return;
    if (uint64_t(uint32_t(Now() - lastAttempt_)) > uint64_t(request_->intervalSec) * 1000) DialNow();
}

void CDialUpEngine::TakeRequest(std::unique_ptr<SDialRequest> request) {
    if (request_ || !request) return;  // one job at a time: a second one is ignored
    request_ = std::move(request);
    hasRequest_ = true;
    // A new job has all of its attempts, whatever the last one used up.
    attempts_ = 0;
    // A dial still under way (its job was cleared meanwhile) is not doubled: the timer takes
    // the new job on once its outcome is in.
    if (state_ == DIALUP_IDLE) DialNow();
}

void CDialUpEngine::DialNow() {
    ++attempts_;
    const std::string entry = settings_->csActiveDialUp;
    if (entry.empty()) return AttemptNotStarted();
    state_ = DIALUP_IDLE;
    SDialParams params;
    params.entryName = entry;
    bool passwordSaved = false;
    if (!dialer_->GetEntryDialParams(params, passwordSaved)) return AttemptNotStarted();
    const SDialUpUserPass& stored = settings_->DialUpUserPass;
    if (stored.m_bUsername) params.userName = stored.m_csUsername;
    if (stored.m_bPassword) params.password = stored.m_csPassword;
    if (!passwordSaved && !stored.m_bPassword && !AskLogin(params)) {
        // Cancelled: the attempt counts, the interval does not start again. Once the attempts are
        // used up the job ends, or the question would come back at every tick for ever.
        if (AttemptsUsedUp()) DropRequest();
        return;
    }
    if (!dialer_->GetEntryPhoneNumber(entry, params.phoneNumber)) return AttemptNotStarted();

    Log(DialingText(entry), kLogDialUpDialing);
    IEngineMgr* mgr = mgr_;
    auto notify = [mgr](uint32_t dialState, uint32_t error) {
        if (error == 0 && dialState != kDialStateConnected) return;
        RefPtr<IEngine> self;
        if (mgr && mgr->GetEngine(ENGINE_ID_DIALUP, self.Put()))
            self->Post(DUOP_DIAL_RESULT, error == 0 ? 1 : 0, 0, false, false);
    };
    DialConnection connection = 0;
    if (!dialer_->Dial(params, notify, connection)) return AttemptNotStarted();
    connection_ = connection;
    state_ = DIALUP_DIALLING;
}

bool CDialUpEngine::AskLogin(SDialParams& params) {
    SDialUpLogin login;
    login.userName = params.userName;
    bool ok = prompt_ ? prompt_(params.entryName, login) : AskProcessPrompt(params.entryName, login);
    if (!ok) return false;
    params.userName = login.userName;
    params.password = login.password;
    if (login.remember) {
        SDialUpUserPass& stored = settings_->DialUpUserPass;
        stored.m_csUsername = login.userName;
        stored.m_csPassword = login.password;
        stored.m_bUsername = 1;
        stored.m_bPassword = 1;
    }
    return true;
}

void CDialUpEngine::AttemptNotStarted() {
    if (AttemptsUsedUp()) DropRequest();
    lastAttempt_ = Now();
}

void CDialUpEngine::OnDialResult(bool success) {
    state_ = DIALUP_IDLE;
    if (success) {
        attempts_ = 0;
        if (INetReports* reports = NetReports()) reports->OnDialUpEstablished();
        Log(kDialUpEstablishedText, kLogDialUpEstablished);
        DropRequest();
    } else {
        connection_ = 0;
        Log(kDialUpFailedText, kLogDialUpFailed);
        if (AttemptsUsedUp()) DropRequest();
    }
    lastAttempt_ = Now();
}

void CDialUpEngine::DoHangUp() {
    state_ = DIALUP_HANGING_UP;
    if (DialConnection connection = connection_) {
        dialer_->HangUp(connection);
        // Wait until the dialer no longer lists the connection, at most kHangUpWaitMs.
        for (uint32_t waited = 0; waited < kHangUpWaitMs; waited += kHangUpStepMs) {
            DialConnection still = 0;
            if (!FindEntryConnection(*dialer_, settings_->csActiveDialUp, still) || still != connection) break;
            SleepMs(kHangUpStepMs);
        }
    }
    Log(kDialUpDisconnectedText, kLogDialUpDisconnected);
    connection_ = 0;
    state_ = DIALUP_IDLE;
}

void CDialUpEngine::DropRequest() {
    request_.reset();
    hasRequest_ = false;
}

bool CDialUpEngine::AttemptsUsedUp() const {
    return request_ && attempts_ >= 0 && uint32_t(attempts_) >= request_->maxAttempts;
}


void CDialUpEngine::Log(const std::string& text, uint32_t kind) {
    if (INetReports* reports = NetReports()) reports->OnDialUpLog(text.c_str(), kind);
}

}  // namespace plover
