#pragma once
// Dispatching one dropped address into a basket: the file is either already on disk (the download
// history knows it), and is then moved into the basket's folder, or it is downloaded there.
//
//  1. The target folder follows the basket's dispatch mode: its root folder (mode 0) or the
//     subfolder named after the address's server (mode 1, created when missing; "Can't create
//     folder\n<folder>" when that fails). Any other mode accepts nothing. A root folder that is
//     missing takes nothing ("Can't create folder\n<root folder>"): it is not made again.
//  2. When the history knows a file for the address and it exists:
//       - a file already in the target folder stays where it is: the item is done;
//       - otherwise it is moved to the first free name of the candidates "pic.jpg",
//         "pic (1).jpg", "pic (2).jpg", ... (the number goes before the extension, so the file
//         keeps its type for every program; files numbered the older way, "pic.jpg1", keep their
//         names and are no candidates). The history's
//         entry gets the new path and the main window hears that the history changed. A move
//         that fails leaves the history as it was, and nothing is downloaded.
//  3. Otherwise a download is added paused (client number of the basket, one section, the page
//     as referrer, priority 4, the site's stored login, the whole-file flag for HTTP), told that
//     overwriting is confirmed, resumed, and kept by the basket. Its file gets the first free
//     candidate name in the target folder, free meaning neither on disk nor the file of a basket
//     download still queued, so a download never overwrites a file that is already there and
//     two downloads never share one file. An address already in the download list adds
//     nothing (the downloader refuses duplicates).
#include <functional>
#include <string>

#include "baskets/basket.h"
#include "baskets/download_db.h"
#include "download/i_downloader.h"
#include "platform/window.h"

namespace plover {

// One dropped address and the page it was found on (sent as the referrer).
struct SBasketItem {
    std::string url;
    std::string referrer;
};

enum class EDispatch {
    Downloading,   // a download was added and resumed
    Moved,         // a known file was moved into the target folder
    AlreadyThere,  // the known file already lies in the target folder
    Duplicate,     // the address is already in the download list
    Refused,       // the basket accepts nothing, or the target folder could not be created
    NoFolder,      // the basket's root folder is missing: no item can go into the basket
    MoveFailed,    // the known file could not be moved
    Failed,        // the address cannot be downloaded
};

struct SDispatchResult {
    EDispatch result = EDispatch::Failed;
    std::string path;             // Moved/AlreadyThere: the file; Downloading: its planned path
    std::string from;             // Moved: where the file was
    RefPtr<IDownload> download;   // Downloading
    std::string message;          // Refused, MoveFailed, Failed: what to show
};

// What a dispatch works with.
struct SDispatchEnv {
    CDownloadDB* db = nullptr;           // the history and the queue register
    IDownloader* downloader = nullptr;   // where downloads are added (waiting call)
    HWND mainWindow = nullptr;           // hears WM_PV_HISTORY_CHANGED after a move
};

// The folder the basket's files go to for an address; empty when the mode accepts nothing.
std::string BasketTargetFolder(const CBasket& basket, const std::string& url);

// The name with " (n)" before its extension: "pic.jpg" gives "pic (1).jpg", "README" gives
// "README (1)", ".hidden" gives ".hidden (1)".
std::string NumberedName(const std::string& name, unsigned n);

// The first candidate path that `taken` refuses: folder/name, then folder/NumberedName(name, 1),
// folder/NumberedName(name, 2), ...
std::string FreeTargetPath(const std::string& folder, const std::string& name,
                           const std::function<bool(const std::string&)>& taken);

// Moves a file (a rename; across file systems a copy and delete). False with the reason.
bool MoveFile(const std::string& from, const std::string& to, std::string* error);

SDispatchResult DispatchItem(CBasket& basket, const SBasketItem& item, const SDispatchEnv& env);

}  // namespace plover
