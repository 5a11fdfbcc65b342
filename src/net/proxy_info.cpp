#include "net/proxy_info.h"

#include <mutex>

namespace plover {
namespace {

// Active data connections fail behind every home router: until settings say otherwise (a new
// installation has none), FTP data connections are passive.
SFTPProxyInfo PassiveFtpRecord() {
    SFTPProxyInfo ftp;
    ftp.bPasv = 1;
    return ftp;
}

std::mutex g_proxyLock;
SHTTPProxyInfo g_httpProxy;
SFTPProxyInfo g_ftpProxy = PassiveFtpRecord();

void ReadNumber(const CBRRegKey& key, const char* name, uint32_t& value) {
    uint32_t v;
    if (key.ReadDWord(name, v)) value = v;
}

}  // namespace

bool SProxyInfo::Set(const char* addr, int64_t port) {
    if (!addr || port < 0 || port > 65535) return false;
    csAddr = addr;
    iPort = int32_t(port);
    return true;
}

void SProxyInfo::Assign(const SProxyInfo& other) {
    csAddr = other.csAddr;
    iPort = other.iPort;
}

bool SProxyInfo::Equals(const SProxyInfo& other) const { return csAddr == other.csAddr && iPort == other.iPort; }

bool SProxyInfo::Load(const HKEY& parent, const char* subkey) {
    CBRRegKey key;
    if (!key.OpenForRead(parent, subkey)) return false;
    LoadValues(key);
    return true;
}

bool SProxyInfo::Save(const HKEY& parent, const char* subkey) const {
    CBRRegKey key;
    if (!key.OpenForWrite(parent, subkey)) return false;
    SaveValues(key);
    return true;
}

void SProxyInfo::LoadValues(const CBRRegKey& key) {
    uint32_t port = uint32_t(iPort);
    ReadNumber(key, "iPort", port);
    iPort = int32_t(port);
    key.ReadString("csAddr", csAddr);
}

void SProxyInfo::SaveValues(CBRRegKey& key) const {
    key.WriteDWord("iPort", uint32_t(iPort));
    key.WriteString("csAddr", csAddr);
}

bool SHTTPProxyInfo::Set(bool use, const char* addr, int64_t port) {
    if (!addr || !*addr) return false;
    if (!SProxyInfo::Set(addr, port)) return false;
    bUse = use ? 1 : 0;
    return true;
}

void SHTTPProxyInfo::LoadValues(const CBRRegKey& key) {
    SProxyInfo::LoadValues(key);
    ReadNumber(key, "bUse", bUse);
}

void SHTTPProxyInfo::SaveValues(CBRRegKey& key) const {
    SProxyInfo::SaveValues(key);
    key.WriteDWord("bUse", bUse);
}

bool SFTPProxyInfo::Set(const char* addr, int64_t port, uint32_t mode, bool passive, const char* user,
                        const char* password) {
    // An empty address names no proxy, so it cannot make an FTP proxy valid.
    SProxyInfo base;
    bool baseSet = addr && *addr && base.Set(addr, port);
    if (!baseSet && mode == FTP_PROXY_FTP) return false;
    if (baseSet) Assign(base);
    eMode = mode;
    bPasv = passive ? 1 : 0;
    csUserName = user ? user : "";
    csPassword = password ? password : "";
    return true;
}

void SFTPProxyInfo::LoadValues(const CBRRegKey& key) {
    SProxyInfo::LoadValues(key);
    ReadNumber(key, "eMode", eMode);
    ReadNumber(key, "bPasv", bPasv);
    key.ReadString("csUserName", csUserName);
    key.ReadString("csPassword", csPassword);
}

void SFTPProxyInfo::SaveValues(CBRRegKey& key) const {
    SProxyInfo::SaveValues(key);
    key.WriteDWord("eMode", eMode);
    key.WriteDWord("bPasv", bPasv);
    key.WriteString("csUserName", csUserName);
    key.WriteString("csPassword", csPassword);
}

SHTTPProxyInfo GetHTTPProxy() {
    std::lock_guard guard(g_proxyLock);
    return g_httpProxy;
}

SFTPProxyInfo GetFTPProxy() {
    std::lock_guard guard(g_proxyLock);
    return g_ftpProxy;
}

void SetHTTPProxy(const SHTTPProxyInfo& info) {
    std::lock_guard guard(g_proxyLock);
    g_httpProxy = info;
}

void SetFTPProxy(const SFTPProxyInfo& info) {
    std::lock_guard guard(g_proxyLock);
    g_ftpProxy = info;
}

bool HasStoredFtpPassiveFlag(const HKEY& key) {
    CBRRegKey ftp;
    uint32_t value = 0;
    return ftp.OpenForRead(key, kFTPProxyKey) && ftp.ReadDWord("bPasv", value);
}

void SerializeProxySettings(const HKEY& key, bool load) {
    if (load) {
        SHTTPProxyInfo http = GetHTTPProxy();
        SFTPProxyInfo ftp = GetFTPProxy();
        http.Load(key, kHTTPProxyKey);
        ftp.Load(key, kFTPProxyKey);
        // A record stored without the flag (a new installation) is passive too; a stored flag
        // keeps its value.
        if (!HasStoredFtpPassiveFlag(key)) ftp.bPasv = 1;
        SetHTTPProxy(http);
        SetFTPProxy(ftp);
    } else {
        GetHTTPProxy().Save(key, kHTTPProxyKey);
        GetFTPProxy().Save(key, kFTPProxyKey);
    }
}

}  // namespace plover
