#include "baskets/download_tips.h"

#include <filesystem>

#include "app/settings.h"
#include "download/url_name.h"
#include "platform/homes.h"

namespace plover {

std::string PreviewFolderOf(const std::string& cacheFolder) {
    return (std::filesystem::path(cacheFolder) / "lrgfiles").string();
}

std::string ProgramPreviewFolder() {
    std::string cache = GetSettings().csCacheFolder;
    if (cache.empty()) cache = GetProgramCacheFolder().string();
    return PreviewFolderOf(cache);
}

SDownloadTip DescribeAddress(CDownloadDB& db, const std::string& address, const std::string& previewFolder) {
    // Downloads keep their addresses in the storable form, and so does the history.
    std::string key = StorableAddress(address);
    SDownloadTip tip;
    tip.path = db.Lookup(key);
    if (!tip.path.empty()) {
        bool preview = IsPathUnderFolder(tip.path, previewFolder);
        tip.state = preview ? EDownloadState::Preview : EDownloadState::InBasket;
        tip.text = preview ? kTipPreviewOnDisk : kTipInBasket;
    } else if (db.IsQueuedAddress(key)) {
        tip.state = EDownloadState::Queued;
        tip.text = kTipQueued;
    }
    return tip;
}

std::string PropertiesText(CDownloadDB& db, const std::string& address) {
    std::string path = db.Lookup(StorableAddress(address));
    return path.empty() ? std::string() : std::string(kPropertiesOnDisk) + "\n" + path;
}

}  // namespace plover
