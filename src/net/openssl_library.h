#pragma once
// OpenSSL, loaded the first time a TLS connection or a file digest needs it. Mapped and
// initialised at every start, libssl and libcrypto cost each run of the program about three
// milliseconds, though most runs never speak TLS.
//
// The table's members carry the names of the library's functions, so calls read as OpenSSL's own
// (openSsl->SSL_new(ctx)). Where the headers give a macro, the table has the function behind it
// (SSL_ctrl, SSL_CTX_ctrl, BIO_ctrl, SSL_get_current_cipher with SSL_CIPHER_get_name).
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <string>

#include "platform/lazy_library.h"

// The OpenSSL functions the program calls (lazy_library.h).
#define PLOVER_OPENSSL_ENTRIES(X)       \
    X(BIO_ctrl)                         \
    X(BIO_ctrl_pending)                 \
    X(BIO_free)                         \
    X(BIO_new)                          \
    X(BIO_read)                         \
    X(BIO_s_mem)                        \
    X(BIO_write)                        \
    X(ERR_clear_error)                  \
    X(ERR_error_string_n)               \
    X(ERR_get_error)                    \
    X(EVP_DigestFinal_ex)               \
    X(EVP_DigestInit_ex)                \
    X(EVP_DigestUpdate)                 \
    X(EVP_MD_CTX_free)                  \
    X(EVP_MD_CTX_new)                   \
    X(EVP_sha256)                       \
    X(OPENSSL_thread_stop)              \
    X(SSL_CIPHER_get_name)              \
    X(SSL_CTX_ctrl)                     \
    X(SSL_CTX_free)                     \
    X(SSL_CTX_load_verify_locations)    \
    X(SSL_CTX_new)                      \
    X(SSL_CTX_set_default_verify_paths) \
    X(SSL_CTX_set_options)              \
    X(SSL_CTX_set_verify)               \
    X(SSL_CTX_up_ref)                   \
    X(SSL_ctrl)                         \
    X(SSL_do_handshake)                 \
    X(SSL_free)                         \
    X(SSL_get0_param)                   \
    X(SSL_get_current_cipher)           \
    X(SSL_get_error)                    \
    X(SSL_get_shutdown)                 \
    X(SSL_get_verify_result)            \
    X(SSL_get_version)                  \
    X(SSL_new)                          \
    X(SSL_read_ex)                      \
    X(SSL_set1_host)                    \
    X(SSL_set_bio)                      \
    X(SSL_set_connect_state)            \
    X(SSL_shutdown)                     \
    X(SSL_write_ex)                     \
    X(TLS_client_method)                \
    X(X509_VERIFY_PARAM_set1_ip_asc)    \
    X(X509_VERIFY_PARAM_set_hostflags)  \
    X(X509_verify_cert_error_string)

namespace plover {

struct SOpenSslLibrary {
    PLOVER_OPENSSL_ENTRIES(PLOVER_LAZY_FIELD)
};

// The loaded library (the one the program was built against), or null with the reason in
// *error. Safe from any thread; the library is loaded at most once.
const SOpenSslLibrary* OpenSslLibrary(std::string* error = nullptr);

// Frees OpenSSL's state of the calling thread now rather than at the thread's exit (which may
// come after the process has ended); nothing when OpenSSL was never loaded.
void StopOpenSslOnThisThread();

}  // namespace plover
