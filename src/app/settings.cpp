#include "app/settings.h"

#include <system_error>

#include "app/message.h"
#include "app/reg_store.h"
#include "platform/homes.h"

namespace plover {
namespace {

SettingsGroupFn& GroupSlot(ESettingsGroup g) {
    static SettingsGroupFn groups[size_t(ESettingsGroup::Count)];
    return groups[size_t(g)];
}

std::function<void()>& DefaultFiltersHook() {
    static std::function<void()> hook;
    return hook;
}

constexpr const char* kSurfUrlsKey = "Software\\Bramble\\Plover\\SurfURLs";

void DefaultSize(SSize& size, int32_t side) {
    if (size.cx == 0 || size.cy == 0) size = {side, side};
}

}  // namespace

CRegistrySettings::CRegistrySettings() { SetTrafficModeDefaults(*this); }

std::vector<SRegTableEntry> CRegistrySettings::Table() {
    return {
        RegInt("bProMode", bProMode),
        RegInt("bTrafficBarOn", bTrafficBarOn),
        RegInt("bShowDownloadFullPath", bShowDownloadFullPath),
        RegInt("eTrafficMode", eTrafficMode),
        RegDWord("colorProgressBkgnd", colorProgressBkgnd),
        RegDWord("colorProgressTotal", colorProgressTotal),
        RegDWord("colorProgressSections", colorProgressSections),
        RegDWord("colorActiveSections", colorActiveSections),
        RegInt("bMinToTray", bMinToTray),
        RegInt("bAnimateTray", bAnimateTray),
        RegInt("iConnType", iConnType),
        RegInt("bShowAuthorization", bShowAuthorization),
        RegInt("DialUpUserPass.m_bUsername", DialUpUserPass.m_bUsername),
        RegInt("DialUpUserPass.m_bPassword", DialUpUserPass.m_bPassword),
        RegDWord("dwAutoSaveTime", dwAutoSaveTime),
        RegDWord("dwLogEntryNumber", dwLogEntryNumber),
        RegInt("iDownloadListSplitterSize", iDownloadListSplitterSize),
        RegInt("iBrowserSplitterSize", iBrowserSplitterSize),
        RegInt("eDoubleClickAction", eDoubleClickAction),
        RegInt("bCloseDnlPropInactive", bCloseDnlPropInactive),
        RegInt("bNewDownloadAdv", bNewDownloadAdv),
        RegBinary("MainWndPos", MainWndPos),
        RegBinary("BasketWndPos", BasketWndPos),
        RegBinary("ImageViewWndPos", ImageViewWndPos),
        RegBinary("pointSurferProp", pointSurferProp),
        RegBinary("pointThumbProp", pointThumbProp),
        RegString("csActiveDialUp", csActiveDialUp),
        RegString("DialUpUserPass.m_csUsername", DialUpUserPass.m_csUsername),
        RegString("DialUpUserPass.m_csPassword", DialUpUserPass.m_csPassword),
        RegString("csDefDownloadFolder", csDefDownloadFolder),
        RegString("csActiveFilter", csActiveFilter),
        RegRecords(&AutoDial, 1),
        RegRecords(&TimeoutParams, 1),
        RegRecords(&FindInfo, 1),
        RegRecords(Sounds, kSounds),
        RegRecords(TrafficModes, kTrafficModes),
        RegInt("bDnlPropAutoOpen", bDnlPropAutoOpen),
        RegInt("bDnlPropAutoClose", bDnlPropAutoClose),
        RegInt("bDnlPropDisplayMin", bDnlPropDisplayMin),
        RegInt("bDnlPropMinToTray", bDnlPropMinToTray),
        RegInt("bWrapURLs", bWrapURLs),
        RegInt("bLogAutoScroll", bLogAutoScroll),
        RegDWord("dwAutoTurnOff", dwAutoTurnOff),
        RegInt("bOverwriteAlways", bOverwriteAlways),
        RegInt("bServerFileTime", bServerFileTime),
        RegBinary("iColWidths", iColWidths),
        RegInt("iActiveMainPage", iActiveMainPage),
        RegInt("bFTPSurferLogin", bFTPSurferLogin),
        RegInt("bInternetSearchAdv", bInternetSearchAdv),
        RegInt("bShowSurferFolderTree", bShowSurferFolderTree),
        RegInt("bDisableLog", bDisableLog),
        RegInt("bFTPLog", bFTPLog),
        RegString("csCacheFolder", csCacheFolder),
        RegInt("eCacheMode", eCacheMode),
        RegInt("bImageViewSnapCursorToButtons", bImageViewSnapCursorToButtons),
        RegInt("eBasketContentMode", eBasketContentMode),
        RegString("csExternalViewer", csExternalViewer),
        RegBinary("sizeThumbMinSize", sizeThumbMinSize),
        RegBinary("sizeThumbMaxSize", sizeThumbMaxSize),
        RegBinary("sizeLargePicMinSize", sizeLargePicMinSize),
        RegBinary("sizeLargePicMaxSize", sizeLargePicMaxSize),
        RegInt("bShowProfileDescription", bShowProfileDescription),
        RegBinary("sizeThumb", sizeThumb),
        RegInt("bImageViewShrinkToFit", bImageViewShrinkToFit),
        RegInt("bImageViewUpdateFrameSize", bImageViewUpdateFrameSize),
        RegInt("bImageViewAutoSizeCenter", bImageViewAutoSizeCenter),
        RegInt("eBasketViewMode", eBasketViewMode),
        RegInt("iMaxCacheSpace", iMaxCacheSpace),
        RegInt("iMaxPageSize", iMaxPageSize),
        RegInt("bTlsInsecure", bTlsInsecure),
        RegString("csTlsCaFile", csTlsCaFile),
        RegString("csUserAgent", csUserAgent),
        RegString("csCookieFile", csCookieFile),
        RegDWord("dwMaxConnectionsPerServer", dwMaxConnectionsPerServer),
        RegDWord("dwMaxRetryAfter", dwMaxRetryAfter),
        RegDWord("dwKeepAliveIdle", dwKeepAliveIdle),
        RegDWord("dwKeepAlivePerServer", dwKeepAlivePerServer),
    };
}

CRegistrySettings& GetSettings() {
    static CRegistrySettings settings;
    return settings;
}

void SetTrafficModeDefaults(CRegistrySettings& s) {
    struct SDefaults {
        uint32_t maxDownloads, minSectSize, maxSectPerDownload, transferQuota;
    };
    // Mode 0 is the unlimited one: 10485760 bytes/s would cap a fast link at a tenth of a gigabit.
    static constexpr SDefaults kDefaults[kTrafficModes] = {
        {3, 10240, 5, kNoTransferQuota}, {2, 10240, 3, 10240}, {1, 10240, 1, 1024}};
    for (int i = 0; i < kTrafficModes; ++i) {
        auto& m = s.TrafficModes[i];
        m.dwMaxDownloads = kDefaults[i].maxDownloads;
        m.dwMinSectSize = kDefaults[i].minSectSize;
        m.dwMaxSectPerDownload = kDefaults[i].maxSectPerDownload;
        m.dwTransferQuota = kDefaults[i].transferQuota;
    }
}

void ApplyPostLoadFixes(CRegistrySettings& s, const std::filesystem::path& defaultCacheFolder) {
    if (auto& hook = DefaultFiltersHook()) hook();
    // No folder chosen (a fresh home) or the default one: the home's own cache folder, made
    // private on first use. A chosen folder that cannot take files is replaced by it, with the message.
    bool chosen = !s.csCacheFolder.empty() &&
                  std::filesystem::path(s.csCacheFolder).lexically_normal() != defaultCacheFolder.lexically_normal();
    if (chosen && IsUsableFolder(s.csCacheFolder)) {
        // in use as it is
    } else {
        if (chosen) ShowMessage(kCacheFolderMessage);
        CreatePrivateFolder(defaultCacheFolder);
        s.csCacheFolder = defaultCacheFolder.string();
    }
    if (s.iMaxCacheSpace < 20 || s.iMaxCacheSpace > 2000) s.iMaxCacheSpace = 50;
    if (s.iMaxPageSize < 1 || s.iMaxPageSize > 2047) s.iMaxPageSize = 32;
    DefaultSize(s.sizeThumbMinSize, 32);
    DefaultSize(s.sizeThumbMaxSize, 200);
    DefaultSize(s.sizeLargePicMinSize, 300);
    DefaultSize(s.sizeLargePicMaxSize, 3000);
}

void SerializeMainSettings(CRegistrySettings& s, const HKEY& root, bool load) {
    // A save always writes 1; a load takes a stored value.
    s.TimeoutParams.dwRetry = 1;
    CBRRegKey key;
    if (key.Open(root, kPloverKey, load)) {
        SerializeTable(s.Table(), key, nullptr, load);
        for (size_t g = 0; g < size_t(ESettingsGroup::Count); ++g)
            if (auto& fn = GroupSlot(ESettingsGroup(g))) fn(key, load);
        if (load)
            s.SurfURLs.Load(root, kSurfUrlsKey);
        else
            s.SurfURLs.Save(root, kSurfUrlsKey);
    }
    ApplyPostLoadFixes(s, GetProgramCacheFolder());
}

void LoadMainSettings() { SerializeMainSettings(GetSettings(), RegCurrentUser(), true); }

void SaveMainSettings() { SerializeMainSettings(GetSettings(), RegCurrentUser(), false); }

void SetSettingsGroup(ESettingsGroup group, SettingsGroupFn fn) {
    if (group < ESettingsGroup::Count) GroupSlot(group) = std::move(fn);
}

void SetDefaultFiltersHook(std::function<void()> fn) { DefaultFiltersHook() = std::move(fn); }

}  // namespace plover
