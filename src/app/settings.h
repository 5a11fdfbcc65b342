#pragma once
// The program's main settings: one process-wide CRegistrySettings, reached through
// GetSettings(), loaded once at start-up and saved once at exit under "Software\Bramble\Plover".
// Engine threads read the fields without locks; only the start-up and shutdown code (and the
// settings commands) change them, before the engines run or after they have stopped.
//
// A load or save runs, in this order: dwRetry of the time-out parameters set to 1 (so a save
// always writes 1, while a load takes a stored value); the main table; the groups that other
// parts store in the same key (proxy records, baskets, scan profiles, search sites: SetSettingsGroup); the
// string list "SurfURLs"; then the fixes after a load: the default download filters (a hook),
// the cache folder fallback, the bounds of iMaxCacheSpace and iMaxPageSize and the four
// picture-size defaults.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/reg_table.h"
#include "app/settings_records.h"
#include "app/str_array.h"

namespace plover {

struct SSize {
    int32_t cx = 0, cy = 0;
};
struct SPoint {
    int32_t x = 0, y = 0;
};
using SWindowPos = std::array<int32_t, 6>;  // a window's stored placement, 24 bytes

struct SDialUpUserPass {
    int32_t m_bUsername = 0;  // use the stored user name when dialling
    int32_t m_bPassword = 0;  // use the stored password
    std::string m_csUsername;
    std::string m_csPassword;
};

inline constexpr int kTrafficModes = 3;
inline constexpr int kSounds = 4;
inline constexpr int32_t kConnTypeDefault = 12;  // the last of the 13 connection types

struct CRegistrySettings {
    CRegistrySettings();

    int32_t bProMode = 0;
    int32_t bTrafficBarOn = 1;
    int32_t bShowDownloadFullPath = 0;
    int32_t eTrafficMode = 0;  // 0..2 the traffic mode in use, 3 the queue is stopped
    uint32_t colorProgressBkgnd = 0x00A3A3A3;  // colours are 0x00BBGGRR
    uint32_t colorProgressTotal = 0x00FF0000;
    uint32_t colorProgressSections = 0x00FF0000;
    uint32_t colorActiveSections = 0x00008000;
    int32_t bMinToTray = 0;
    int32_t bAnimateTray = 1;
    int32_t iConnType = kConnTypeDefault;
    int32_t bShowAuthorization = 1;
    SDialUpUserPass DialUpUserPass;
    uint32_t dwAutoSaveTime = 15;
    uint32_t dwLogEntryNumber = 1000;
    int32_t iDownloadListSplitterSize = 150;
    int32_t iBrowserSplitterSize = 200;
    int32_t eDoubleClickAction = 3;
    int32_t bCloseDnlPropInactive = 0;
    int32_t bNewDownloadAdv = 0;
    SWindowPos MainWndPos{};
    SWindowPos BasketWndPos{};
    SWindowPos ImageViewWndPos{};
    SPoint pointSurferProp;
    SPoint pointThumbProp;
    std::string csActiveDialUp;
    std::string csDefDownloadFolder;
    std::string csActiveFilter;
    SAutoDial AutoDial;
    STimeoutParams TimeoutParams;
    SFindInfo FindInfo;
    SSoundInfo Sounds[kSounds];
    STrafficModeSettings TrafficModes[kTrafficModes];
    int32_t bDnlPropAutoOpen = 0;
    int32_t bDnlPropAutoClose = 0;
    int32_t bDnlPropDisplayMin = 0;
    int32_t bDnlPropMinToTray = 0;
    int32_t bWrapURLs = 0;
    int32_t bLogAutoScroll = 0;
    uint32_t dwAutoTurnOff = 0;
    int32_t bOverwriteAlways = 0;
    int32_t bServerFileTime = 1;  // a downloaded file takes the server's Last-Modified time
    std::array<int32_t, 6> iColWidths{0, 300, 100, 200, 250, 150};
    int32_t iActiveMainPage = 0;
    int32_t bFTPSurferLogin = 0;
    int32_t bInternetSearchAdv = 0;
    int32_t bShowSurferFolderTree = 1;
    int32_t bDisableLog = 1;
    int32_t bFTPLog = 1;
    std::string csCacheFolder;
    int32_t eCacheMode = 1;  // 0 every visit, 1 automatically, 2 never
    int32_t bImageViewSnapCursorToButtons = 1;
    int32_t eBasketContentMode = 0;
    std::string csExternalViewer;
    SSize sizeThumbMinSize;
    SSize sizeThumbMaxSize;
    SSize sizeLargePicMinSize;
    SSize sizeLargePicMaxSize;
    int32_t bShowProfileDescription = 1;
    SSize sizeThumb;
    int32_t bImageViewShrinkToFit = 1;
    int32_t bImageViewUpdateFrameSize = 1;
    int32_t bImageViewAutoSizeCenter = 1;
    int32_t eBasketViewMode = 0;
    int32_t iMaxCacheSpace = 50;  // megabytes, 20..2000
    int32_t iMaxPageSize = 32;    // MiB, 1..2047: a scanned page larger than this is not parsed
    int32_t bTlsInsecure = 0;     // https: servers' certificates are not verified (warned on every run)
    std::string csTlsCaFile;      // https: a PEM file of trust anchors added to the system's
    // The User-Agent of requests: empty for a current mainstream browser's, "classic" for the
    // program's old one, any other text as it stands. A site's own wins.
    std::string csUserAgent;
    std::string csCookieFile;     // a cookies.txt file read at the first request of every run
    uint32_t dwMaxConnectionsPerServer = 4;  // across all downloads; 0: no limit. A site's own wins
    uint32_t dwMaxRetryAfter = 300;  // seconds: the longest wait a server's Retry-After obtains
    uint32_t dwKeepAliveIdle = 15;       // seconds a kept connection may wait for its next request; 0: none kept
    uint32_t dwKeepAlivePerServer = 0;   // kept connections per server; 0: the traffic mode's connection limit

    CStrArrayEx SurfURLs;  // addresses typed by the user, "SurfURLs"

    // The main table, in its stored order, pointing at this object's fields.
    std::vector<SRegTableEntry> Table();
};

// The process-wide settings.
CRegistrySettings& GetSettings();

// The traffic-mode defaults, set at start-up before the settings are loaded. Mode 0 has no
// transfer quota by default (0xFFFFFFFF bytes per second); a stored quota still wins.
void SetTrafficModeDefaults(CRegistrySettings& s);
inline constexpr uint32_t kNoTransferQuota = 0xFFFFFFFF;

// Loads (load true) or saves the settings under "Software\Bramble\Plover" below root, then
// applies the fixes after a load. A missing key on load leaves every variable as it is.
void SerializeMainSettings(CRegistrySettings& s, const HKEY& root, bool load);
// The same for the process-wide settings in the process-wide store.
void LoadMainSettings();
void SaveMainSettings();

// The fixes after a load. The cache folder: with none chosen, the home's default one (made
// private on first use); a chosen folder that cannot take files gives kCacheFolderMessage and the
// default one.
void ApplyPostLoadFixes(CRegistrySettings& s, const std::filesystem::path& defaultCacheFolder);
inline constexpr const char* kCacheFolderMessage = "Cache folder is not available. Default temp folder is selected.";

// Groups that other parts keep in the main key, run after the main table in this order with the
// main key and the load flag. Unset groups are skipped.
enum class ESettingsGroup { ProxyRecords, Baskets, ScanProfiles, SearchSites, Count };
using SettingsGroupFn = std::function<void(const HKEY& mainKey, bool load)>;
void SetSettingsGroup(ESettingsGroup group, SettingsGroupFn fn);
// Called after every load and save: creates the default download filters when the list is empty.
void SetDefaultFiltersHook(std::function<void()> fn);

}  // namespace plover
