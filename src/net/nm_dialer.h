#pragma once
// The NetworkManager dialer: an entry is a NetworkManager connection profile, named by its id.
// Everything goes through the command-line client `nmcli` in terse mode:
//   available      nmcli -t -f RUNNING general               ("running")
//   entries        nmcli -t -f NAME connection show
//   active         nmcli -t -f NAME,STATE connection show --active
//   entry details  nmcli -t connection show id NAME          (type, user name, password flags, number)
//   dial           nmcli --wait 90 connection up id NAME [passwd-file FILE]   (on a thread of its own)
//   hang up        nmcli connection down id NAME
// A password given for the dial goes to nmcli in a private temporary file (mode 0600) that is
// removed when nmcli ends; a user name cannot be given at activation, so the profile's own is
// used. Connection handles are small numbers that this dialer gives each entry name it meets.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/dialer.h"
#include "platform/event.h"

namespace plover {

// One line of nmcli's terse multi-field output split at the unescaped colons ("\:" is a colon
// and "\\" a backslash inside a field).
std::vector<std::string> SplitNmcliTerseLine(std::string_view line);
// The "setting.property:value" lines of `nmcli -t connection show id NAME`, as a map.
std::map<std::string, std::string> ParseNmcliDetails(std::string_view output);

// What a dial needs to know of a profile, read from its details.
struct SNmProfile {
    std::string type;             // connection.type: "gsm", "pppoe", "vpn", "802-3-ethernet", ...
    std::string userName;
    std::string number;           // gsm.number or cdma.number, when the profile has one
    std::string passwordSetting;  // where a password goes in a passwd-file ("gsm.password"); empty: none
    bool passwordSaved = true;    // the profile keeps its password (or needs none)
};
SNmProfile ProfileFromDetails(const std::map<std::string, std::string>& details);

class CNmDialer final : public IDialer {
public:
    explicit CNmDialer(std::string nmcliPath);
    ~CNmDialer() override;

    std::string Name() override { return "NetworkManager"; }
    bool IsAvailable(std::string* reason) override;
    bool ListEntries(std::vector<std::string>& names) override;
    bool GetEntryDialParams(SDialParams& params, bool& passwordSaved) override;
    bool GetEntryPhoneNumber(const std::string& entry, std::string& number) override;
    bool Dial(const SDialParams& params, DialNotifyFn notify, DialConnection& connection) override;
    bool HangUp(DialConnection connection) override;
    bool EnumConnections(std::vector<SActiveConnection>& connections, size_t max) override;
    void Shutdown() override;

private:
    struct SDialJob {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    bool ReadProfile(const std::string& entry, SNmProfile& profile);
    DialConnection HandleFor(const std::string& entry);
    std::string EntryOf(DialConnection handle);
    void RunDial(SDialParams params, SNmProfile profile, DialNotifyFn notify, SDialJob* job);
    void JoinFinishedDials();

    std::string nmcli_;
    std::mutex lock_;
    std::map<std::string, DialConnection> handles_;
    std::vector<std::unique_ptr<SDialJob>> jobs_;
    CEvent cancel_;
    std::atomic<bool> shutDown_{false};
};

}  // namespace plover
