#include "cli/program_parts.h"

#include "baskets/basket.h"
#include "baskets/basket_engine.h"
#include "baskets/history_parts.h"
#include "download/download_filter.h"
#include "download/downloader.h"
#include "download/downloader_net_reports.h"
#include "download/file_relocator.h"
#include "download/site_prop.h"
#include "net/dialup_engine.h"
#include "net/proxy_info.h"
#include "net/socket_engine.h"
#include "scan/page_mgr.h"
#include "scan/scan_profile.h"
#include "scan/scanner_engine.h"
#include "scan/search_site.h"

namespace plover::cli {
namespace {

// A factory for the engine table: a new engine of type T with its creation reference.
template <class T>
IEngine* Make() {
    return new T;
}

SAppParts BuildParts() {
    SAppParts parts;
    // The engines, in the order in which they are registered (and started); they stop in reverse.
    // One line per engine, e.g. {ENGINE_ID_SOCKET, Make<CSocketEngine>},
    parts.engines = {
        {ENGINE_ID_SOCKET, Make<CSocketEngine>},
        // The download history is loaded and listening before any list is loaded, so that no
        // finished download goes unrecorded.
        {ENGINE_ID_DOWNLOADER, Make<CDownloader>,
         [](IEngine* e) {
             InstallSaveFilter(e);
             AttachDownloadHistory(e);
             InstallNetReports(DownloaderNetReports());  // traffic, proxy and dial-up reports
         }},
        {ENGINE_ID_PAGE_MGR, Make<CPageMgr>},
        {ENGINE_ID_SCANNER, Make<CScannerEngine>},
        {ENGINE_ID_BASKET, Make<CBasketEngine>},  // loads the download list
        {ENGINE_ID_FILE_RELOCATOR, Make<CFileRelocator>},
        {ENGINE_ID_DIALUP, Make<CDialUpEngine>},  // dials when "AutoDial" is on
    };
    // Stored with the main settings (each gets the program's key and the load flag):
    parts.proxyRecords = SerializeProxySettings;
    parts.baskets = SerializeBaskets;             // "Baskets"
    parts.scanProfiles = SerializeScanProfiles;  // "ScanProfiles": the four defaults when none
    parts.searchSites = SerializeSearchSites;    // "SearchSites": the four defaults at first
    parts.defaultFilters = BuildDownloadFilters;  // the default download filters when none exist
    parts.siteLogins = SerializeSiteLogins;       // "Sites": loaded at start-up, saved at exit
    parts.afterEnginesStarted = WaitForBasketEngine;  // the download list is loaded and queued
    // parts.beforeEnginesStop = ...;    // and saves it
    parts.onExit = DetachDownloadHistory;  // the download history saved after the engines stopped
    return parts;
}

}  // namespace

const SAppParts& ProgramParts() {
    static const SAppParts parts = BuildParts();
    return parts;
}

}  // namespace plover::cli
