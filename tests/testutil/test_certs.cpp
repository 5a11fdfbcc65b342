#include "testutil/test_certs.h"

#include <cstdlib>
#include <stdexcept>

namespace plover::test {
namespace {

// "openssl ca" keeps its records in files of the folder; this is all it needs to sign with the
// dates a test chooses (an expired certificate cannot be made with "openssl x509").
constexpr const char* kCaConfig =
    "[ca]\ndefault_ca = test\n[test]\ndir = .\ndatabase = index.txt\nnew_certs_dir = .\n"
    "certificate = ca.pem\nprivate_key = ca.key\nserial = serial\ndefault_md = sha256\npolicy = any\n"
    "copy_extensions = copy\nunique_subject = no\n[any]\ncommonName = supplied\n";

constexpr const char* kScript = R"(set -e
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key"; }
request() { key "$1"; openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$2" -addext "subjectAltName=$3"; }
key ca
openssl req -x509 -new -key ca.key -out ca.pem -days 30 -subj "/CN=Plover Test Authority" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
touch index.txt
echo 01 > serial
request server localhost "DNS:localhost,IP:127.0.0.1"
openssl ca -batch -config ca.cnf -days 30 -in server.csr -out server.pem -notext
request expired localhost "DNS:localhost,IP:127.0.0.1"
openssl ca -batch -config ca.cnf -startdate 20200101000000Z -enddate 20200131000000Z -in expired.csr -out expired.pem -notext
request other other.example "DNS:other.example"
openssl ca -batch -config ca.cnf -days 30 -in other.csr -out other.pem -notext
key self
openssl req -x509 -new -key self.key -out self.pem -days 30 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1"
)";

}  // namespace

TestCertificates::TestCertificates() {
    WriteFile(dir_.Path() / "ca.cnf", kCaConfig);
    WriteFile(dir_.Path() / "make.sh", kScript);
    std::string command = "cd '" + dir_.Str() + "' && sh make.sh > make.log 2>&1";
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("making the test certificates failed:\n" + ReadFile(dir_.Path() / "make.log"));
}

}  // namespace plover::test
