#pragma once
// The dialer: what the dial-up engine asks of the system to bring a network connection up and
// down. An entry is a named connection that the system knows (a phone-book entry; on Linux a
// NetworkManager connection profile). A dial starts asynchronously and its outcome arrives later
// through a callback on a thread of the dialer, with the connection state and an error code: an
// error other than 0 means the dial failed, state kDialStateConnected with error 0 that it is up.
//
// CreateSystemDialer picks the implementation for this machine: NetworkManager through its
// command-line client `nmcli` when that is installed, otherwise a dialer that knows no entries
// and says why (IsAvailable). Tests use CScriptedDialer (scripted_dialer.h).
//
// Every operation may be called from any thread and returns within a bounded time: the system
// dialer runs `nmcli` with time-outs and never waits on it without one.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plover {

// A connection made by a dial, as the dialer names it; 0 is none.
using DialConnection = uintptr_t;

// The connection state that means "connected" (the outcome of a successful dial).
constexpr uint32_t kDialStateConnected = 0x2000;

// What a dial uses: the entry, its number and the login.
struct SDialParams {
    std::string entryName;
    std::string phoneNumber;
    std::string userName;
    std::string password;
};

struct SActiveConnection {
    DialConnection handle = 0;
    std::string entryName;
};

// How many active connections one look lists at most.
constexpr size_t kMaxActiveConnections = 100;

// The outcome of a dial: the state reached and an error code (0 none).
using DialNotifyFn = std::function<void(uint32_t state, uint32_t error)>;

inline constexpr const char* kNoDialerMessage = "no dialer available";

class IDialer {
public:
    virtual ~IDialer() = default;

    // The dialer's name for the user ("NetworkManager").
    virtual std::string Name() = 0;
    // Whether it can dial on this machine; when not, *reason says why.
    virtual bool IsAvailable(std::string* reason) = 0;
    // The entries that can be dialled; false when they cannot be listed.
    virtual bool ListEntries(std::vector<std::string>& names) = 0;
    // The stored dial parameters of params.entryName (its user name, and its password when the
    // dialer hands it out) and whether the entry keeps its password itself. False for an entry
    // that the dialer does not know.
    virtual bool GetEntryDialParams(SDialParams& params, bool& passwordSaved) = 0;
    // The entry's phone number (empty for a connection that has none); false for an unknown entry.
    virtual bool GetEntryPhoneNumber(const std::string& entry, std::string& number) = 0;
    // Starts a dial and names its connection; the outcome comes through notify, once. False when
    // the dial could not start (notify is then never called).
    virtual bool Dial(const SDialParams& params, DialNotifyFn notify, DialConnection& connection) = 0;
    virtual bool HangUp(DialConnection connection) = 0;
    // The active connections (at most max); false when they cannot be listed.
    virtual bool EnumConnections(std::vector<SActiveConnection>& connections, size_t max) = 0;
    // Ends every dial still under way without calling its notify; the engine's stop.
    virtual void Shutdown() = 0;
};

// The dialer of this machine (see above).
std::unique_ptr<IDialer> CreateSystemDialer();

// The active connection of the named entry: true and its handle, or false (handle 0) when the
// name is empty, the entry is not connected or the connections cannot be listed.
bool FindEntryConnection(IDialer& dialer, const std::string& entry, DialConnection& handle);

}  // namespace plover
