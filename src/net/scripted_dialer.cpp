#include "net/scripted_dialer.h"

namespace plover {

void CScriptedDialer::SetEntry(const std::string& name, SEntry entry) {
    std::lock_guard g(lock_);
    entries_[name] = std::move(entry);
}

bool CScriptedDialer::CompletePending(bool success) {
    SPending p;
    {
        std::lock_guard g(lock_);
        if (pending_.empty()) return false;
        p = std::move(pending_.front());
        pending_.erase(pending_.begin());
        if (success) connected_[p.entry] = p.handle;
    }
    if (success)
        p.notify(kDialStateConnected, 0);
    else
        p.notify(0, kFailError);
    return true;
}

void CScriptedDialer::Drop(const std::string& name) {
    std::lock_guard g(lock_);
    connected_.erase(name);
}

std::vector<SDialParams> CScriptedDialer::Dials() const {
    std::lock_guard g(lock_);
    return dials_;
}

int CScriptedDialer::ParamReads() const {
    std::lock_guard g(lock_);
    return paramReads_;
}

int CScriptedDialer::HangUps() const {
    std::lock_guard g(lock_);
    return hangUps_;
}

bool CScriptedDialer::IsAvailable(std::string* reason) {
    std::lock_guard g(lock_);
    if (!available_ && reason) *reason = "the scripted dialer is switched off";
    return available_;
}

bool CScriptedDialer::ListEntries(std::vector<std::string>& names) {
    std::lock_guard g(lock_);
    names.clear();
    for (const auto& [name, entry] : entries_) names.push_back(name);
    return true;
}

bool CScriptedDialer::GetEntryDialParams(SDialParams& params, bool& passwordSaved) {
    std::lock_guard g(lock_);
    ++paramReads_;
    auto it = entries_.find(params.entryName);
    if (it == entries_.end()) return false;
    params.userName = it->second.userName;
    params.password = it->second.passwordSaved ? it->second.password : std::string();
    passwordSaved = it->second.passwordSaved;
    return true;
}

bool CScriptedDialer::GetEntryPhoneNumber(const std::string& entry, std::string& number) {
    std::lock_guard g(lock_);
    auto it = entries_.find(entry);
    if (it == entries_.end() || !it->second.propertiesReadable) return false;
    number = it->second.phoneNumber;
    return true;
}

bool CScriptedDialer::Dial(const SDialParams& params, DialNotifyFn notify, DialConnection& connection) {
    EOutcome outcome;
    {
        std::lock_guard g(lock_);
        auto it = entries_.find(params.entryName);
        if (it == entries_.end()) return false;
        dials_.push_back(params);
        outcome = it->second.outcome;
        connection = nextHandle_++;
        if (outcome == EOutcome::Connect) connected_[params.entryName] = connection;
        if (outcome == EOutcome::Pending) pending_.push_back({params.entryName, connection, std::move(notify)});
    }
    if (outcome == EOutcome::Connect) notify(kDialStateConnected, 0);
    if (outcome == EOutcome::Fail) notify(0, kFailError);
    return true;
}

bool CScriptedDialer::HangUp(DialConnection connection) {
    std::lock_guard g(lock_);
    ++hangUps_;
    for (auto it = connected_.begin(); it != connected_.end(); ++it) {
        if (it->second == connection) {
            connected_.erase(it);
            return true;
        }
    }
    return false;
}

bool CScriptedDialer::EnumConnections(std::vector<SActiveConnection>& connections, size_t max) {
    std::lock_guard g(lock_);
    connections.clear();
    for (const auto& [name, handle] : connected_) {
        if (connections.size() >= max) break;
        connections.push_back({handle, name});
    }
    return true;
}

void CScriptedDialer::Shutdown() {
    std::lock_guard g(lock_);
    pending_.clear();
}

}  // namespace plover
