#include "net/host_lookup.h"

#include <netdb.h>

#include <system_error>
#include <thread>

namespace plover {
namespace {

// The first IPv4 address of the answer, into the address part of the record.
bool Resolve(SHostLookup& lookup) {
    if (lookup.host.empty()) return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(lookup.host.c_str(), nullptr, &hints, &answer) != 0 || !answer) return false;
    bool found = false;
    for (addrinfo* a = answer; a && !found; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(SOCKADDR_IN)) continue;
        lookup.address.sin_addr = reinterpret_cast<const SOCKADDR_IN*>(a->ai_addr)->sin_addr;
        found = true;
    }
    freeaddrinfo(answer);
    return found;
}

void LookupThread(SHostLookup* lookup, RefPtr<IEngine> engine, bool resolve) {
    lookup->resolved = resolve && Resolve(*lookup);
    if (!engine && !GetEngineMgr()->GetEngine(ENGINE_ID_SOCKET, engine.Put())) {
        delete lookup;
        return;
    }
    // An engine that has already ended frees the record through its discard hook.
    engine->Post(SOP_HOST_LOOKUP, reinterpret_cast<uintptr_t>(lookup), 0, false, false);
}

}  // namespace

void ResolveHostAsync(const SOCKADDR_IN& address, const char* host, IHostByNameCallback* callback,
                      IEngine* socketEngine) {
    auto* lookup = new SHostLookup;
    lookup->host = host ? host : "";
    lookup->address = address;
    lookup->callback = RefPtr<IHostByNameCallback>(callback);
    try {
        std::thread(LookupThread, lookup, RefPtr<IEngine>(socketEngine), true).detach();
    } catch (const std::system_error&) {
        // No thread: answer at once as a failed lookup, through the same road.
        LookupThread(lookup, RefPtr<IEngine>(socketEngine), false);
    }
}

void AnswerHostLookup(SHostLookup* lookup) {
    if (!lookup) return;
    if (lookup->callback) lookup->callback->OnHostByName(lookup);
    delete lookup;
}

}  // namespace plover
