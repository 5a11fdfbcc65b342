#include "web/download_json.h"

#include <utility>
#include <vector>

#include "download/categories.h"
#include "download/download_status.h"
#include "download/i_download.h"
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

const char* WaitReason(DownloadStatus status, DownloadStatus reason) {
    if (status != DS_WAIT_FOR_USER) return "";
    if (reason == DS_UNAUTHORIZED) return "login";
    if (reason == DS_TGT_FILE_EXISTS) return "exists";
    return "other";
}

nlohmann::json DownloadJson(IDownload* d, const std::vector<SCategoryProp>& categories) {
    DownloadStatus status = d->GetStatus();
    std::vector<SSection> sections, workers;
    d->GetSections(sections, workers);
    nlohmann::json parts = nlohmann::json::array();
    for (const SSection& s : sections)
        if (s.IsValid()) parts.push_back({s.Start, s.Size});
    std::string name = d->GetFileName();
    std::string url = d->GetOriginalUrl();
    std::string folder = d->GetLocalFolder();
    uint32_t moveDone = 0, moveTotal = 0;
    d->GetTraffic(&moveDone, &moveTotal);
    return {
        {"id", d->GetID()},
        // Text is bytes: a name that is not UTF-8 is shown with replacement characters.
        {"name", ValidUtf8(name.empty() ? url : name)},
        {"url", ValidUtf8(url)},
        {"folder", ValidUtf8(folder)},
        {"status", StatusText(status)},
        {"statusClass", StatusClassName(StatusClass(status))},
        {"waitForUser", status == DS_WAIT_FOR_USER},
        {"waitReason", WaitReason(status, d->GetSuperStatus())},
        {"statusTime", d->GetStatusTime()},
        {"server", ValidUtf8(d->GetServer())},
        {"size", d->GetSize()},
        {"downloaded", d->GetDownloaded()},
        {"speed", d->GetSpeed()},
        {"timeLeft", d->GetTimeLeft()},
        {"priority", d->GetConfig()->Prior},
        {"paused", d->IsPaused()},
        {"finished", d->IsFinished()},
        {"failed", d->IsFailed()},
        {"queue", d->GetQueueValue()},
        {"sections", std::move(parts)},
        {"category", CategoryIndexFor(categories, name, folder)},
        {"moving", status == DS_MOVING},
        {"moveDone", moveDone},
        {"moveTotal", moveTotal},
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
