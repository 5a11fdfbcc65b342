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

namespace plover {

struct SOpenSslLibrary {
#define PLOVER_OPENSSL_ENTRY(name) decltype(&::name) name;
#include "net/openssl_entries.inc"
#undef PLOVER_OPENSSL_ENTRY
};

// The loaded library (the one the program was built against), or null with the reason in
// *error. Safe from any thread; the library is loaded at most once.
const SOpenSslLibrary* OpenSslLibrary(std::string* error = nullptr);

// Frees OpenSSL's state of the calling thread now rather than at the thread's exit (which may
// come after the process has ended); nothing when OpenSSL was never loaded.
void StopOpenSslOnThisThread();

}  // namespace plover
