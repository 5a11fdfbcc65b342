#include "app/app.h"

#include <signal.h>

#include "app/message.h"
#include "app/reg_store.h"
#include "platform/kept_aside.h"

namespace plover {

CApp::~CApp() {
    Shutdown();
    signals_.Stop();
}

CApp::EStart CApp::Init(const SHomes& homes, const SAppParts& parts, EAccess access) {
    if (initialized_) return EStart::Running;
    std::string error;
    if (!CreateHomes(homes, &error)) {
        ShowMessage(error);
        return EStart::Failed;
    }
    reader_ = access == EAccess::Reader;
    switch (lock_.Acquire(homes.settingsDir / kInstanceLockName, &error)) {
        case CInstanceLock::EResult::Acquired: break;
        case CInstanceLock::EResult::HeldElsewhere:
            if (reader_) {
                filesInUse_ = true;  // the other instance's files: read, never changed
                break;
            }
            ShowMessage(kAlreadyRunningMessage);
            return EStart::AlreadyRunning;
        case CInstanceLock::EResult::Failed:
            if (reader_) {
                filesInUse_ = true;
                break;
            }
            ShowMessage(error);
            return EStart::Failed;
    }
    homes_ = homes;
    parts_ = parts;
    SetProgramHomes(homes);
    // Networking: a write to a socket that the peer has closed must fail, not end the process.
    signal(SIGPIPE, SIG_IGN);

    SetSettingsGroup(ESettingsGroup::ProxyRecords, parts_.proxyRecords);
    SetSettingsGroup(ESettingsGroup::Baskets, parts_.baskets);
    SetSettingsGroup(ESettingsGroup::ScanProfiles, parts_.scanProfiles);
    SetSettingsGroup(ESettingsGroup::SearchSites, parts_.searchSites);
    SetDefaultFiltersHook(parts_.defaultFilters);

    CRegistrySettings& s = GetSettings();
    s = CRegistrySettings();  // the defaults, including the traffic modes'
    SetTrafficModeDefaults(s);
    s.iConnType = kConnTypeDefault;
    LoadStore();
    LoadMainSettings();
    if (parts_.siteLogins) {
        CBRRegKey key;
        if (key.OpenForRead(RegCurrentUser(), kPloverKey)) parts_.siteLogins(key, true);
    }
    initialized_ = true;
    return EStart::Running;
}

void CApp::LoadStore() {
    auto result = GetRegStore().Load(homes_.settingsDir / kStoreFileName, filesInUse_);
    const std::string file = GetRegStore().File().string();
    switch (result.status) {
        case CRegStore::ELoadStatus::Loaded:
        case CRegStore::ELoadStatus::Missing: break;
        case CRegStore::ELoadStatus::Damaged:
            ShowMessage(KeptAsideWarning("settings file", file, result.reason, result.keptAs, result.moveError,
                                         result.keptAs.empty()
                                             ? "the default settings are used; the file is not written over"
                                             : "the default settings are used"));
            break;
        case CRegStore::ELoadStatus::Unreadable:
            ShowMessage("warning: the settings file " + file + " cannot be read (" + result.reason +
                        "); the default settings are used and the file will not be written over.");
            break;
    }
}

size_t CApp::StartEngines() {
    size_t registered = 0;
    for (const auto& entry : parts_.engines) {
        if (!entry.create) continue;
        RefPtr<IEngine> engine = RefPtr<IEngine>::Adopt(entry.create());
        if (!engine || !mgr_->RegisterEngine(entry.id, engine.Get())) continue;
        ++registered;
        if (entry.afterRegister) entry.afterRegister(engine.Get());
    }
    if (parts_.afterEnginesStarted) parts_.afterEnginesStarted();
    return registered;
}

bool CApp::EnableQuitOnSignals() { return signals_.Start(&window_, WM_PV_QUIT); }

void CApp::Dispatch(const SWindowMessage& m) {
    if (handler_) handler_(m);
}

void CApp::RunMessageLoop(MessageHandler handler) {
    handler_ = std::move(handler);
    while (auto m = window_.GetMessage()) {
        if (m->msg == WM_PV_QUIT) return;
        Dispatch(*m);
    }
}

bool CApp::Shutdown() {
    if (shutDown_ || !initialized_) return true;
    shutDown_ = true;
    if (parts_.beforeEnginesStop) parts_.beforeEnginesStop();
    if (mgr_->IsRunning()) {
        mgr_->StopAllEngines(&window_);
        while (auto m = window_.GetMessage()) {
            if (m->msg == WM_PV_ENGINES_STOPPED) break;
            if (m->msg != WM_PV_QUIT) Dispatch(*m);  // already on the way out
        }
    }
    if (parts_.onExit) parts_.onExit();
    if (reader_) {
        signals_.Stop();
        lock_.Release();
        return true;
    }
    if (parts_.siteLogins) {
        CBRRegKey key;
        if (key.OpenForWrite(RegCurrentUser(), kPloverKey)) parts_.siteLogins(key, false);
    }
    bool ok = true;
    if (!uninstalled_) {
        SaveMainSettings();
        std::string error;
        if (!GetRegStore().Save(&error)) {
            ShowMessage("the settings could not be saved: " + error);
            ok = false;
        }
    }
    signals_.Stop();
    lock_.Release();
    return ok;
}

bool RunSetup(const SHomes& homes, const std::function<bool()>& action) {
    std::string error;
    if (!CreateHomes(homes, &error)) {
        ShowMessage(error);
        return false;
    }
    CInstanceLock lock;
    switch (lock.Acquire(homes.settingsDir / kInstanceLockName, &error)) {
        case CInstanceLock::EResult::Acquired: break;
        case CInstanceLock::EResult::HeldElsewhere: ShowMessage(kAlreadyRunningSetupMessage); return false;
        case CInstanceLock::EResult::Failed: ShowMessage(error); return false;
    }
    SetProgramHomes(homes);
    return action();
}

}  // namespace plover
