#include "net/openssl_library.h"

#include <atomic>

namespace plover {
namespace {

std::atomic<bool> loaded{false};

// libssl's file name is the build's own (PLOVER_SSL_SONAME); its functions and libcrypto's (which
// it brings) are all found through its handle. It stays loaded for the rest of the run.
bool Load(SOpenSslLibrary& table, std::string& error) {
    void* handle = OpenLazyLibrary(PLOVER_SSL_SONAME, "TLS", error);
    loaded = handle PLOVER_OPENSSL_ENTRIES(PLOVER_LAZY_BIND);
    return loaded;
}

}  // namespace

const SOpenSslLibrary* OpenSslLibrary(std::string* error) { return LoadedOnce<SOpenSslLibrary, Load>(error); }

void StopOpenSslOnThisThread() {
    if (loaded) OpenSslLibrary()->OPENSSL_thread_stop();
}

}  // namespace plover
