#include "net/tls_context.h"

#include <arpa/inet.h>

#include <map>
#include <mutex>
#include <utility>

#include "net/openssl_library.h"
#include "net/socket_interfaces.h"

namespace plover {
namespace {

SSL_CTX* MakeContext(const SOpenSslLibrary& o, const STlsOptions& options, std::string* error) {
    SSL_CTX* ctx = o.SSL_CTX_new(o.TLS_client_method());
    if (!ctx) {
        if (error) *error = TakeOpenSslErrors("cannot make a TLS context");
        return nullptr;
    }
    o.SSL_CTX_ctrl(ctx, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    o.SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    // Partial writes never happen on memory buffers; a moving buffer keeps SSL_write simple.
    o.SSL_CTX_ctrl(ctx, SSL_CTRL_MODE, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_RELEASE_BUFFERS, nullptr);
    o.SSL_CTX_set_verify(ctx, options.insecure ? SSL_VERIFY_NONE : SSL_VERIFY_PEER, nullptr);
    if (!options.insecure) {
        o.SSL_CTX_set_default_verify_paths(ctx);
        if (!options.caFile.empty() && o.SSL_CTX_load_verify_locations(ctx, options.caFile.c_str(), nullptr) != 1) {
            if (error) *error = "cannot read the CA certificate file " + options.caFile + ": " + TakeOpenSslErrors("no certificate in it");
            o.SSL_CTX_free(ctx);
            return nullptr;
        }
    }
    o.ERR_clear_error();
    return ctx;
}

}  // namespace

SSL_CTX* AcquireTlsContext(const STlsOptions& options, std::string* error) {
    // Contexts live until the process ends (never destroyed, so none is freed while a late
    // connection still uses it).
    static std::mutex lock;
    static auto& contexts = *new std::map<std::pair<bool, std::string>, SSL_CTX*>;
    const SOpenSslLibrary* o = OpenSslLibrary(error);
    if (!o) return nullptr;
    std::lock_guard guard(lock);
    auto key = std::make_pair(options.insecure, options.insecure ? std::string() : options.caFile);
    auto it = contexts.find(key);
    if (it == contexts.end()) {
        SSL_CTX* ctx = MakeContext(*o, options, error);
        if (!ctx) return nullptr;
        it = contexts.emplace(key, ctx).first;
    }
    o->SSL_CTX_up_ref(it->second);
    return it->second;
}

uint32_t CertificateErrorCode(long verifyResult) {
    switch (verifyResult) {
        case X509_V_OK:
            return SOCKERR_TLS;
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return SOCKERR_CERT_EXPIRED;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return SOCKERR_CERT_OTHER_HOST;
        default:
            return SOCKERR_CERT_NOT_TRUSTED;
    }
}

bool IsIpAddressText(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string TakeOpenSslErrors(const std::string& fallback) {
    const SOpenSslLibrary* o = OpenSslLibrary();
    std::string text;
    while (unsigned long e = o ? o->ERR_get_error() : 0) {
        char line[256];
        o->ERR_error_string_n(e, line, sizeof line);
        if (!text.empty()) text += "; ";
        text += line;
    }
    return text.empty() ? fallback : text;
}

}  // namespace plover
