#pragma once
// A dialer whose entries and outcomes are set by its user: the dial-up engine's tests drive it
// instead of a real system. Each entry says how its dials end: connected at once, failed at once
// (the outcome is reported from inside Dial, as a real dialer may report from its own thread
// before Dial returns), or pending until the test completes it. It records what was asked of it.
// Thread-safe; notifications are never called under its lock.
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/dialer.h"

namespace plover {

class CScriptedDialer final : public IDialer {
public:
    enum class EOutcome { Connect, Fail, Pending };
    struct SEntry {
        std::string userName;
        std::string password;        // handed out when passwordSaved
        bool passwordSaved = true;
        std::string phoneNumber;
        bool propertiesReadable = true;
        EOutcome outcome = EOutcome::Connect;
    };
    static constexpr uint32_t kFailError = 691;  // "access denied"

    void SetAvailable(bool available) { available_ = available; }
    void SetEntry(const std::string& name, SEntry entry);
    // Ends the oldest pending dial; false when none waits.
    bool CompletePending(bool success);
    // The entry's connection goes away as if the other side had dropped it.
    void Drop(const std::string& name);

    // What was asked: every dial's parameters, how often the stored parameters were read, how
    // many hang-ups.
    std::vector<SDialParams> Dials() const;
    int ParamReads() const;
    int HangUps() const;

    std::string Name() override { return "scripted"; }
    bool IsAvailable(std::string* reason) override;
    bool ListEntries(std::vector<std::string>& names) override;
    bool GetEntryDialParams(SDialParams& params, bool& passwordSaved) override;
    bool GetEntryPhoneNumber(const std::string& entry, std::string& number) override;
    bool Dial(const SDialParams& params, DialNotifyFn notify, DialConnection& connection) override;
    bool HangUp(DialConnection connection) override;
    bool EnumConnections(std::vector<SActiveConnection>& connections, size_t max) override;
    void Shutdown() override;

private:
    struct SPending {
        std::string entry;
        DialConnection handle = 0;
        DialNotifyFn notify;
    };

    mutable std::mutex lock_;
    bool available_ = true;
    std::map<std::string, SEntry> entries_;
    std::map<std::string, DialConnection> connected_;  // entry -> handle
    std::vector<SPending> pending_;
    std::vector<SDialParams> dials_;
    int paramReads_ = 0;
    int hangUps_ = 0;
    DialConnection nextHandle_ = 1;
};

}  // namespace plover
