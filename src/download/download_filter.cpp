#include "download/download_filter.h"

#include <strings.h>

#include "download/categories.h"
#include "download/download_status.h"

namespace plover {
namespace {

DownloadFilterList& Filters() {
    static DownloadFilterList filters;
    return filters;
}

SDownloadFilter StatusGroup(const char* name, std::vector<uint32_t> values) {
    if (values.size() > kMaxStatusGroupValues) values.resize(kMaxStatusGroupValues);
    return SDownloadFilter{name, FILTER_STATUS, std::move(values)};
}

}  // namespace

DownloadFilterList MakeDefaultDownloadFilters() {
    DownloadFilterList list;
    list.push_back({"All downloads", FILTER_ALL, {}});
    const auto& categories = GetCategories();
    for (size_t i = 0; i < categories.size(); ++i)
        list.push_back({categories[i].name, FILTER_CATEGORY, {uint32_t(i)}});
    list.push_back(StatusGroup("Active", {DS_REDIRECTING, DS_LOOKING_FOR_SITE, DS_DOWNLOADING, DS_CONNECTING,
                                          DS_MOVING}));
    list.push_back(StatusGroup("Finished", {DS_FINISHED}));
    list.push_back(StatusGroup("Paused", {DS_PAUSED, DS_WAIT_FOR_USER}));
    list.push_back(StatusGroup("Failed", {DS_SITE_NOT_FOUND, DS_FILE_NOT_FOUND, DS_UNAUTHORIZED, DS_TIMEOUT,
                                          DS_CANT_CREATE_FILE, DS_FORBIDDEN, DS_SERVER_ERROR, DS_CANT_CONNECT,
                                          DS_ABORTED, DS_NOT_AVAILABLE, DS_FILE_TOO_BIG, DS_MOVING_FAILED,
                                          DS_TEMPORARILY_UNAVAILABLE, DS_DUPLICATE, DS_FAILED, DS_CERT_EXPIRED,
                                          DS_CERT_OTHER_HOST, DS_CERT_NOT_TRUSTED, DS_PROXY_REFUSED}));
    return list;
}

const DownloadFilterList& GetDownloadFilters() { return Filters(); }

void BuildDownloadFilters() {
    if (Filters().empty()) Filters() = MakeDefaultDownloadFilters();
}

const SDownloadFilter* FindDownloadFilter(const std::string& name) {
    for (const SDownloadFilter& f : Filters())
        if (strcasecmp(f.name.c_str(), name.c_str()) == 0) return &f;
    return nullptr;
}

}  // namespace plover
