#pragma once
// The user's proxy settings: one HTTP proxy record and one FTP proxy record.
//
// SProxyInfo is an address and a port (empty and -1 when none); SHTTPProxyInfo adds whether the
// HTTP proxy is used; SFTPProxyInfo adds how FTP connects (0 directly, 1 through the HTTP proxy,
// 2 through this FTP proxy, which takes "user@server" as its user name), passive data
// connections and the FTP proxy's own login. Each record tells by IsValid whether it is in use.
//
// Stored in the settings store as the values of one subkey each ("HTTP_ProxyInfo",
// "FTP_ProxyInfo") below the program's key: "iPort", "csAddr", then the record's own values.
//
// The process holds one current record of each kind. Readers take a copy and writers replace the
// whole record, under one lock, so a copy is never taken of a half-replaced record: new
// connections use the settings in force when they were made.
#include <cstdint>
#include <string>

#include "app/reg_key.h"

namespace plover {

inline constexpr const char* kHTTPProxyKey = "HTTP_ProxyInfo";
inline constexpr const char* kFTPProxyKey = "FTP_ProxyInfo";

struct SProxyInfo {
    std::string csAddr;  // host name or dotted address; empty when none
    int32_t iPort = -1;  // -1 when none

    virtual ~SProxyInfo() = default;
    SProxyInfo() = default;
    SProxyInfo(const SProxyInfo&) = default;
    SProxyInfo& operator=(const SProxyInfo&) = default;

    // An address and a port are given.
    virtual bool IsValid() const { return !csAddr.empty() && iPort != -1; }
    // False (nothing stored) for a null address or a port outside 0..65535.
    bool Set(const char* addr, int64_t port);
    // Copies the address and the port.
    void Assign(const SProxyInfo& other);
    // Same address (case-sensitive) and port.
    bool Equals(const SProxyInfo& other) const;

    // Reads or writes the record's values in the subkey of `parent`; false when the subkey
    // cannot be opened (a missing value leaves its field as it was).
    bool Load(const HKEY& parent, const char* subkey);
    bool Save(const HKEY& parent, const char* subkey) const;

protected:
    virtual void LoadValues(const CBRRegKey& key);
    virtual void SaveValues(CBRRegKey& key) const;
};

struct SHTTPProxyInfo : SProxyInfo {
    uint32_t bUse = 0;

    // In use: an address and a port, and marked as used.
    bool IsValid() const override { return SProxyInfo::IsValid() && bUse != 0; }
    // False (nothing stored) for a null or empty address or an invalid port.
    bool Set(bool use, const char* addr, int64_t port);

protected:
    void LoadValues(const CBRRegKey& key) override;
    void SaveValues(CBRRegKey& key) const override;
};

enum EFTPProxyMode : uint32_t {
    FTP_PROXY_DIRECT = 0,
    FTP_PROXY_VIA_HTTP = 1,
    FTP_PROXY_FTP = 2,
};

struct SFTPProxyInfo : SProxyInfo {
    uint32_t eMode = FTP_PROXY_DIRECT;
    uint32_t bPasv = 0;
    std::string csUserName;
    std::string csPassword;  // stored as plain text

    // In use: an address and a port, in mode 2.
    bool IsValid() const override { return SProxyInfo::IsValid() && eMode == FTP_PROXY_FTP; }
    // Refused only in mode 2 without a valid address (not empty) and port. Otherwise stores the
    // mode, the passive flag and the login, and the address and port when they are valid.
    bool Set(const char* addr, int64_t port, uint32_t mode, bool passive, const char* user, const char* password);

protected:
    void LoadValues(const CBRRegKey& key) override;
    void SaveValues(CBRRegKey& key) const override;
};

// The current records: copies in, copies out, under one lock.
SHTTPProxyInfo GetHTTPProxy();
SFTPProxyInfo GetFTPProxy();
void SetHTTPProxy(const SHTTPProxyInfo& info);
void SetFTPProxy(const SFTPProxyInfo& info);

// Loads or saves both current records below `key` (the program's key), each under its subkey.
// A load without a stored "bPasv" (a new installation) makes FTP data connections passive, as
// they are in the current FTP record before any load.
void SerializeProxySettings(const HKEY& key, bool load);
// Whether the FTP record below `key` holds its passive flag.
bool HasStoredFtpPassiveFlag(const HKEY& key);

}  // namespace plover
