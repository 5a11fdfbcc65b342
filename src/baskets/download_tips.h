#pragma once
// What the scan panes show for a picture's address, from the download history and the queue
// register: one function that every front end calls, so the texts never drift apart.
//
//   a known file inside the preview folder  -> EDownloadState::Preview, kTipPreviewOnDisk
//   a known file anywhere else (a basket)   -> EDownloadState::InBasket, kTipInBasket
//   not known, but queued for a basket      -> EDownloadState::Queued, kTipQueued
//   otherwise                               -> EDownloadState::None, no tip
//
// Asking forgets a known file that has gone (CDownloadDB::Lookup).
#include <string>

#include "baskets/download_db.h"

namespace plover {

inline constexpr const char* kTipPreviewOnDisk =
    "You already have this file on your hard drive.\nClick to open it or drop to a basket.";
inline constexpr const char* kTipInBasket = "You already have this file on your hard drive in a basket.\nClick to open it.";
inline constexpr const char* kTipQueued = "This file is in the download queue.";
inline constexpr const char* kPropertiesOnDisk = "You already have this file on your hard drive at:";

enum class EDownloadState { None, Preview, InBasket, Queued };

struct SDownloadTip {
    EDownloadState state = EDownloadState::None;
    std::string path;  // the file on disk (Preview, InBasket)
    std::string text;  // the tip; empty for None
};

// The preview folder of the large-picture view: the cache folder followed by "lrgfiles".
std::string PreviewFolderOf(const std::string& cacheFolder);
// The same for the program's settings ("csCacheFolder"; the home's cache folder when unset).
std::string ProgramPreviewFolder();

SDownloadTip DescribeAddress(CDownloadDB& db, const std::string& address, const std::string& previewFolder);
// The lines of a scanned element's properties: kPropertiesOnDisk and the path, or empty.
std::string PropertiesText(CDownloadDB& db, const std::string& address);

}  // namespace plover
