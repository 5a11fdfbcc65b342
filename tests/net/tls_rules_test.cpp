// The pure rules of the TLS layer: OpenSSL's certificate verdicts as socket error codes, literal
// addresses (checked as addresses, sent without SNI) and the proxy's answer to CONNECT.
#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include "net/proxy_tunnel.h"
#include "net/socket_interfaces.h"
#include "net/tls_context.h"

namespace plover {
namespace {

TEST(TlsRules, CertificateVerdicts) {
    const std::pair<long, uint32_t> cases[] = {
        {X509_V_OK, SOCKERR_TLS},
        {X509_V_ERR_CERT_HAS_EXPIRED, SOCKERR_CERT_EXPIRED},
        {X509_V_ERR_HOSTNAME_MISMATCH, SOCKERR_CERT_OTHER_HOST},
        {X509_V_ERR_IP_ADDRESS_MISMATCH, SOCKERR_CERT_OTHER_HOST},
        {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT, SOCKERR_CERT_NOT_TRUSTED},
        {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, SOCKERR_CERT_NOT_TRUSTED},
        {X509_V_ERR_CERT_NOT_YET_VALID, SOCKERR_CERT_NOT_TRUSTED},
        {X509_V_ERR_CERT_REVOKED, SOCKERR_CERT_NOT_TRUSTED},
    };
    for (auto [verdict, code] : cases) EXPECT_EQ(CertificateErrorCode(verdict), code) << verdict;
}

TEST(TlsRules, AddressesAreToldApartFromNames) {
    EXPECT_TRUE(IsIpAddressText("127.0.0.1"));
    EXPECT_TRUE(IsIpAddressText("::1"));
    EXPECT_FALSE(IsIpAddressText("localhost"));
    EXPECT_FALSE(IsIpAddressText("127.0.0.1.example"));
    EXPECT_FALSE(IsIpAddressText(""));
}

TEST(TlsRules, TunnelReplies) {
    struct Row {
        std::string reply;
        STunnelReply::State state;
        size_t headerLength;
        std::string statusLine;
    } rows[] = {
        {"HTTP/1.0 200 Connection established\r\n\r\n", STunnelReply::OPEN, 39, ""},
        {"HTTP/1.1 200 OK\r\nProxy-Agent: x\r\n\r\n\x16\x03", STunnelReply::OPEN, 35, ""},  // TLS bytes follow
        {"HTTP/1.0 200\n\n", STunnelReply::OPEN, 14, ""},
        {"HTTP/1.0 200 Connection established\r\n", STunnelReply::INCOMPLETE, 0, ""},
        {"", STunnelReply::INCOMPLETE, 0, ""},
        {"HTTP/1.0 403 Access violation\r\n\r\n", STunnelReply::REFUSED, 0, "HTTP/1.0 403 Access violation"},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nX: y\r\n\r\n", STunnelReply::REFUSED, 0,
         "HTTP/1.1 407 Proxy Authentication Required"},
        {"HTTP/1.0 2000 odd\r\n\r\n", STunnelReply::REFUSED, 0, "HTTP/1.0 2000 odd"},
        {"SSH-2.0-x\r\n\r\n", STunnelReply::REFUSED, 0, "SSH-2.0-x"},
        {std::string(kMaxTunnelReply, 'a'), STunnelReply::REFUSED, 0, "an over-long reply"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.reply.substr(0, 40));
        STunnelReply got = ReadTunnelReply(r.reply);
        EXPECT_EQ(got.state, r.state);
        if (r.state == STunnelReply::OPEN) {
            EXPECT_EQ(got.headerLength, r.headerLength);
        }
        if (r.state == STunnelReply::REFUSED) {
            EXPECT_EQ(got.statusLine, r.statusLine);
        }
    }
}

}  // namespace
}  // namespace plover
