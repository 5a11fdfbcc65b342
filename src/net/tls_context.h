#pragma once
// The TLS client side shared by every TLS connection: the options a run chooses, the OpenSSL
// contexts made from them (one per set of options, kept for the life of the process) and the
// rules that turn OpenSSL's certificate verdict into the socket layer's error codes.
//
// Trust: the system's store (the default paths, so SSL_CERT_FILE and SSL_CERT_DIR are honoured as
// OpenSSL honours them) plus one optional extra anchor file. TLS 1.2 is the oldest version
// offered; renegotiation is refused.
#include <openssl/ssl.h>

#include <cstdint>
#include <string>

namespace plover {

struct STlsOptions {
    bool insecure = false;  // the server's certificate is not verified at all
    std::string caFile;     // a PEM file of extra trust anchors; empty: the system's store only

    friend bool operator==(const STlsOptions&, const STlsOptions&) = default;
};

// The client context for these options, with a reference the caller frees (SSL_CTX_free, through
// openssl_library.h). Null, with the reason in *error, when OpenSSL, the context or the anchor
// file cannot be loaded.
SSL_CTX* AcquireTlsContext(const STlsOptions& options, std::string* error);

// The socket layer's error code (SOCKERR_CERT_*) for a failed certificate verification result
// (X509_V_ERR_*); SOCKERR_TLS for X509_V_OK (the handshake failed for another reason).
uint32_t CertificateErrorCode(long verifyResult);

// True when host is a literal IPv4 or IPv6 address (checked as an address, and sent without SNI).
bool IsIpAddressText(const std::string& host);

// The text OpenSSL's error queue holds for this thread (emptied), or fallback when it is empty.
std::string TakeOpenSslErrors(const std::string& fallback);

}  // namespace plover
