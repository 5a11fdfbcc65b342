#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <memory>
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

void Answer(std::unique_ptr<SHostLookup> lookup, RefPtr<IEngine> engine) {
    if (!engine && !GetEngineMgr()->GetEngine(ENGINE_ID_SOCKET, engine.Put())) return;
    // An engine that has already ended frees the record at once.
    PostOwned(engine.Get(), SOP_HOST_LOOKUP, std::move(lookup));
}

void LookupThread(std::unique_ptr<SHostLookup> lookup, RefPtr<IEngine> engine, bool resolve) {
    lookup->resolved = resolve && Resolve(*lookup);
    Answer(std::move(lookup), std::move(engine));
}

}  // namespace

void ResolveHostAsync(const SOCKADDR_IN& address, const char* host, IHostByNameCallback* callback,
                      IEngine* socketEngine) {
    auto lookup = std::make_unique<SHostLookup>();
    lookup->host = host ? host : "";
    lookup->address = address;
    lookup->callback = RefPtr<IHostByNameCallback>(callback);
    // A dotted address needs no resolver and cannot block: it is answered at once, by the same
    // road, without a thread of its own (starting one costs more than the whole answer).
    in_addr literal;
    if (inet_pton(AF_INET, lookup->host.c_str(), &literal) == 1) {
        lookup->address.sin_addr = literal;
        lookup->resolved = true;
        Answer(std::move(lookup), RefPtr<IEngine>(socketEngine));
        return;
    }
    // The thread takes the record over only once it has started.
    std::thread thread;
    try {
        thread = std::thread([record = lookup.get(), engine = RefPtr<IEngine>(socketEngine)] {
            LookupThread(std::unique_ptr<SHostLookup>(record), engine, true);
        });
        lookup.release();
        thread.detach();
    } catch (const std::system_error&) {
        // No thread: answer at once as a failed lookup, through the same road.
        LookupThread(std::move(lookup), RefPtr<IEngine>(socketEngine), false);
    }
}

void AnswerHostLookup(SHostLookup& lookup) {
    if (lookup.callback) lookup.callback->OnHostByName(&lookup);
}

}  // namespace plover
