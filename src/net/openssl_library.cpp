#include "net/openssl_library.h"

#include <atomic>

#include "platform/lazy_library.h"

namespace plover {
namespace {

std::atomic<bool> loaded{false};

// libssl's file name is the build's own (PLOVER_SSL_SONAME); its functions and libcrypto's (which
// it brings) are all found through its handle. It stays loaded for the rest of the run.
bool Load(SOpenSslLibrary& t, std::string& error) {
    void* handle = OpenLazyLibrary(PLOVER_SSL_SONAME, "TLS", error);
    if (!handle) return false;
    bool ok = true;
#define PLOVER_OPENSSL_ENTRY(name) ok = ok && BindEntry(handle, #name, t.name, error);
#include "net/openssl_entries.inc"
#undef PLOVER_OPENSSL_ENTRY
    loaded = ok;
    return ok;
}

}  // namespace

const SOpenSslLibrary* OpenSslLibrary(std::string* error) {
    static const CLazyLibrary<SOpenSslLibrary> library(Load);
    return library.Get(error);
}

void StopOpenSslOnThisThread() {
    if (loaded) OpenSslLibrary()->OPENSSL_thread_stop();
}

}  // namespace plover
