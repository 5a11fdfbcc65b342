#include "net/dialer.h"

#include "net/child_process.h"
#include "net/nm_dialer.h"

namespace plover {

namespace {

// The dialer of a machine without NetworkManager: it knows no entries and dials nothing.
class CNoDialer final : public IDialer {
public:
    std::string Name() override { return "none"; }
    bool IsAvailable(std::string* reason) override {
        if (reason) *reason = "NetworkManager's nmcli is not installed";
        return false;
    }
    bool ListEntries(std::vector<std::string>& names) override {
        names.clear();
        return false;
    }
    bool GetEntryDialParams(SDialParams&, bool&) override { return false; }
    bool GetEntryPhoneNumber(const std::string&, std::string&) override { return false; }
    bool Dial(const SDialParams&, DialNotifyFn, DialConnection&) override { return false; }
    bool HangUp(DialConnection) override { return false; }
    bool EnumConnections(std::vector<SActiveConnection>& connections, size_t) override {
        connections.clear();
        return true;  // nothing is connected through it
    }
    void Shutdown() override {}
};

}  // namespace

std::unique_ptr<IDialer> CreateSystemDialer() {
    std::string nmcli = FindOnPath("nmcli");
    if (nmcli.empty()) return std::make_unique<CNoDialer>();
    return std::make_unique<CNmDialer>(nmcli);
}

bool FindEntryConnection(IDialer& dialer, const std::string& entry, DialConnection& handle) {
    handle = 0;
    if (entry.empty()) return false;
    std::vector<SActiveConnection> active;
    if (!dialer.EnumConnections(active, kMaxActiveConnections)) return false;
    for (const SActiveConnection& c : active) {
        if (c.entryName == entry) {
            handle = c.handle;
            return true;
        }
    }
    return false;
}

}  // namespace plover
