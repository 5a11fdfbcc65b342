#include "net/proxy_options.h"

#include "net/net_reports.h"
#include "engine/engine_mgr.h"

namespace plover {

SProxyPage ProxyPageFromCurrent() {
    SHTTPProxyInfo http = GetHTTPProxy();
    SFTPProxyInfo ftp = GetFTPProxy();
    SProxyPage page;
    page.bHttpUse = http.bUse != 0;
    page.httpAddr = http.csAddr;
    page.httpPort = http.iPort;
    page.ftpMode = ftp.eMode;
    page.ftpAddr = ftp.csAddr;
    page.ftpPort = ftp.iPort;
    page.bPasv = ftp.bPasv != 0;
    page.ftpUser = ftp.csUserName;
    page.ftpPassword = ftp.csPassword;
    return page;
}

bool BuildProxyRecords(const SProxyPage& page, SHTTPProxyInfo& http, SFTPProxyInfo& ftp, std::string& message) {
    SHTTPProxyInfo checked;
    if (page.bHttpUse && !checked.Set(true, page.httpAddr.c_str(), page.httpPort)) {
        message = kMsgHTTPProxyInvalid;
        return false;
    }
    if (page.ftpMode == FTP_PROXY_VIA_HTTP && !page.bHttpUse) {
        message = kMsgHTTPProxyNotSpecified;
        return false;
    }
    SFTPProxyInfo newFtp;
    if (!newFtp.Set(page.ftpAddr.c_str(), page.ftpPort, page.ftpMode, page.bPasv, page.ftpUser.c_str(),
                    page.ftpPassword.c_str())) {
        message = kMsgFTPProxyInvalid;
        return false;
    }
    SHTTPProxyInfo newHttp;
    if (!newHttp.Set(page.bHttpUse, page.httpAddr.c_str(), page.httpPort)) newHttp = SHTTPProxyInfo{};
    http = newHttp;
    ftp = newFtp;
    message.clear();
    return true;
}

bool ApplyProxyPage(const SProxyPage& page, std::string& message) {
    SHTTPProxyInfo http;
    SFTPProxyInfo ftp;
    if (!BuildProxyRecords(page, http, ftp, message)) return false;
    SetFTPProxy(ftp);
    SetHTTPProxy(http);
    if (INetReports* reports = NetReports()) reports->OnProxySettingsChanged();
    return true;
}

}  // namespace plover
