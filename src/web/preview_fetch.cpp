#include "web/preview_fetch.h"

#include <sys/stat.h>

#include <filesystem>

#include "baskets/basket_dispatch.h"
#include "baskets/download_db.h"
#include "baskets/download_db_sink.h"
#include "download/download_config.h"
#include "download/site_prop.h"
#include "download/url_name.h"
#include "platform/url_split.h"

namespace plover::web {
namespace {

// The user waits for the picture: it goes before the queue.
constexpr int32_t kPreviewPriority = 10;

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

RefPtr<IDownload> AddPreviewDownload(IDownloader* downloader, const std::string& url, const std::string& referrer,
                                     const std::string& previewFolder) {
    SUrlParts parts;
    if (!downloader || !SplitUrl(url, parts)) return nullptr;
    bool http = parts.service == kServiceHttp || parts.service == kServiceHttps;
    if (!http && parts.service != kServiceFtp) return nullptr;
    std::error_code ec;
    std::filesystem::create_directories(previewFolder, ec);
    std::string name = MakeSafeFileName(PercentDecode(DeriveFileName(parts.object)));
    auto* config = new SDownloadConfig();
    config->URL_original = url;
    config->URL_remote = url;
    config->Server = parts.server;
    config->StartMode = START_PAUSED;
    config->ClientID = kPreviewClient;
    config->SingleSection = 1;
    config->csPrevServer = referrer;
    config->LocalFolder = previewFolder;
    config->Prior = kPreviewPriority;
    if (http) config->Flags = DCF_WHOLE_FILE;
    ApplySiteLogin(*config);
    if (!name.empty()) {
        std::string planned = FreeTargetPath(previewFolder, name, [](const std::string& p) {
            return Exists(p) || GetDownloadDB().IsQueuedPath(p);
        });
        config->FileName = std::filesystem::path(planned).filename().string();
    }
    int id = -1;
    RefPtr<IDownload> d;
    downloader->AddDownload(config, &id, d.Put());
    if (!d) return nullptr;
    d->SetOverwriteConfirmed(1);
    d->Resume();
    return d;
}

}  // namespace plover::web
