#include "web/download_json.h"

#include <utility>
#include <vector>

#include "baskets/download_db_sink.h"
#include "download/categories.h"
#include "download/download_status.h"
#include "download/i_download.h"
#include "download/downloader.h"
#include "download/i_downloader.h"
#include "web/utf8_text.h"

namespace plover::web {

const char* StatusClassName(uint32_t statusClass) {
    switch (statusClass) {
        case DSC_FAILED: return "failed";
        case DSC_BUSY: return "busy";
        default: return "idle";
    }
}

bool ShownInDownloadList(int clientId) { return clientId != kPageCacheClient && clientId != kPreviewClient; }

const char* WaitReason(DownloadStatus status, DownloadStatus reason) {
    if (status != DS_WAIT_FOR_USER) return "";
    if (reason == DS_UNAUTHORIZED) return "login";
    if (reason == DS_TGT_FILE_EXISTS) return "exists";
    return "other";
}

nlohmann::json DownloadJson(IDownload* d, const std::vector<SCategoryProp>& categories) {
    const SDownloadSnapshot s = d->GetSnapshot();  // every figure from one moment
    nlohmann::json parts = nlohmann::json::array();
    for (const SSection& x : s.sections)
        if (x.IsValid()) parts.push_back({x.Start, x.Size});
    return {
        {"id", s.id},
        // Text is bytes: a name that is not UTF-8 is shown with replacement characters.
        {"name", ValidUtf8(DisplayName(s))},
        {"url", ValidUtf8(s.originalUrl)},
        {"folder", ValidUtf8(s.localFolder)},
        {"status", s.statusText},
        {"reason", s.superStatus != DS_NONE ? s.superStatusText : ""},
        {"path", ValidUtf8(s.localPath)},
        {"tls", s.tls},
        {"statusClass", StatusClassName(StatusClass(s.status))},
        {"waitForUser", s.status == DS_WAIT_FOR_USER},
        {"waitReason", WaitReason(s.status, s.superStatus)},
        {"statusTime", s.statusTime},
        {"server", ValidUtf8(s.server)},
        {"size", s.size},
        {"downloaded", s.downloaded},
        {"speed", s.speed},
        {"timeLeft", s.timeLeft},
        {"priority", s.priority},
        {"paused", s.paused},
        {"finished", s.finished},
        {"failed", s.failed},
        {"queue", s.queueValue},
        {"sections", std::move(parts)},
        {"category", CategoryIndexFor(categories, s.fileName, s.localFolder)},
        {"moving", s.status == DS_MOVING},
        {"moveDone", s.moveDone},
        {"moveTotal", s.moveTotal},
    };
}

std::vector<SCategoryProp> ListCategories() {
    std::vector<SCategoryProp> out = GetCategories();
    if (!out.empty()) return out;
    for (const SDefaultCategory& c : kDefaultCategories) out.push_back({c.name, "", c.extensions});
    return out;
}

nlohmann::json CategoriesJson(const std::vector<SCategoryProp>& categories) {
    nlohmann::json out = nlohmann::json::array();
    for (const SCategoryProp& c : categories) out.push_back(ValidUtf8(c.name));
    return out;
}

const char* LogKindName(uint32_t kind) {
    switch (kind) {
        case LOG_REQUEST: return "request";
        case LOG_RESPONSE: return "response";
        case LOG_LOOKUP: return "lookup";
        case LOG_LOOKUP_OK: return "found";
        case LOG_LOOKUP_FAILED: return "notFound";
        case LOG_CONNECTING: return "connecting";
        case LOG_CONNECTED: return "connected";
        case LOG_CLOSED: return "closed";
        case LOG_DELETED: return "deleted";
        case LOG_PAUSED: return "paused";
        case LOG_RESUMED: return "resumed";
        case LOG_FINISHED: return "finished";
        case LOG_DIALUP_UP: return "dialupUp";
        case LOG_DIALUP_DOWN: return "dialupDown";
        case LOG_DIALUP_FAILED: return "dialupFailed";
        case LOG_LIST_LOADED: return "listLoaded";
        case LOG_LIST_SAVED: return "listSaved";
        case LOG_TIMEOUT: return "timeout";
        default: return "other";
    }
}

nlohmann::json LogLineJson(uint64_t seq, uint32_t kind, const std::string& text) {
    return {{"seq", seq}, {"kind", kind}, {"kindName", LogKindName(kind)}, {"text", ValidUtf8(text)}};
}

}  // namespace plover::web
