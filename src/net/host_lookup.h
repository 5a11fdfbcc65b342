#pragma once
// Host-name lookup without blocking any engine: ResolveHostAsync starts one short-lived thread per
// lookup, which resolves the name (IPv4 only) and posts the record to the socket engine
// (SOP_HOST_LOOKUP); the socket engine calls the caller's OnHostByName on its own thread and then
// destroys the record. A failed lookup is answered too, with resolved false and the address left
// as the caller gave it. A dotted IPv4 address takes the same road without a thread.
#include <string>

#include "engine/engine.h"
#include "net/socket_interfaces.h"

namespace plover {

inline constexpr GUID IID_IHostByNameCallback = MakeGuid("83BE2838-B086-497B-9F36-80554D47C6DF");

struct SHostLookup;

struct IHostByNameCallback : IUnknown {
    // On the socket engine thread; the record is destroyed when the call returns.
    virtual void OnHostByName(SHostLookup* lookup) = 0;

protected:
    ~IHostByNameCallback() = default;
};

struct SHostLookup {
    std::string host;
    SOCKADDR_IN address{};  // the caller's address; the lookup writes the address part only
    RefPtr<IHostByNameCallback> callback;
    bool resolved = false;
};

// Starts the lookup of `host` and returns at once. The answer goes through `socketEngine`, or,
// when that is null, through the socket engine registered with the engine manager; without a
// socket engine the lookup is dropped unanswered (there is no thread to answer on).
void ResolveHostAsync(const SOCKADDR_IN& address, const char* host, IHostByNameCallback* callback,
                      IEngine* socketEngine = nullptr);

// The host lookup operation on the socket engine thread: calls the callback (the engine frees the
// record afterwards).
void AnswerHostLookup(SHostLookup& lookup);

}  // namespace plover
