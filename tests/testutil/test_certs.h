#pragma once
// Certificates for TLS tests, made with the openssl command in a temp folder of their own:
//
//   plover::test::TestCertificates certs;
//   certs.CaFile();                         // the test authority (trusted only when a test says so)
//   certs.Server();                         // for localhost and 127.0.0.1, signed by the authority
//   certs.Expired();                        // the same names, signed, valid only in January 2020
//   certs.OtherHost();                      // signed, for other.example only
//   certs.SelfSigned();                     // for localhost and 127.0.0.1, signed by itself
//
// Each pair is given as {certificate file, key file}, ready for NginxOptions::tls. The
// constructor throws std::runtime_error with openssl's output when a step fails.
#include <filesystem>
#include <string>

#include "testutil/temp_dir.h"

namespace plover::test {

struct TlsPair {
    std::string certificate;
    std::string key;
};

class TestCertificates {
public:
    TestCertificates();
    std::string CaFile() const { return (dir_.Path() / "ca.pem").string(); }
    TlsPair Server() const { return Pair("server"); }
    TlsPair Expired() const { return Pair("expired"); }
    TlsPair OtherHost() const { return Pair("other"); }
    TlsPair SelfSigned() const { return Pair("self"); }

private:
    TlsPair Pair(const std::string& name) const {
        return {(dir_.Path() / (name + ".pem")).string(), (dir_.Path() / (name + ".key")).string()};
    }
    TempDir dir_;
};

}  // namespace plover::test
