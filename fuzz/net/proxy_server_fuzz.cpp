// The proxy strings a user or the environment hands in: the "ProxyServer" form and proxy
// variables. Neither may crash, and what is imported must keep the records' own rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/proxy_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    plover::SProxyImport got = plover::ImportProxyServer(text);
    if (got.http.iPort < -1 || got.http.iPort > 65535 || got.ftp.iPort < -1 || got.ftp.iPort > 65535) std::abort();
    if (got.http.bUse && !got.http.IsValid()) std::abort();
    if (got.ftp.eMode == plover::FTP_PROXY_VIA_HTTP && !got.ftp.Equals(got.http)) std::abort();
    size_t half = size / 2;
    plover::ImportProxyServer(plover::ProxyServerFromUrls(text.substr(0, half), text.substr(half)));
    return 0;
}
