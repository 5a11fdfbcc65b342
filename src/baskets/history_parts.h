#pragma once
// How the download history and the basket engine join the program's start-up and shutdown.
//
//   Start: right after the downloader is registered (before any download list is loaded, so that
//   no finished download can go unrecorded) the history file is loaded, the preview folder is
//   swept and the history's sink is advised to the downloader (AttachDownloadHistory). After
//   every engine has started, WaitForBasketEngine waits until the basket engine has loaded the
//   download list and queued its basket downloads, so a command sees the list as it is.
//   Exit (after the engines have stopped): the sink is unadvised and the history saved
//   (DetachDownloadHistory). A history that was never loaded is never written over the file.
//
// Commands that work on the history without the engines use LoadDownloadHistory and
// SaveDownloadHistory directly.
#include <string>

#include "engine/engine.h"
#include "platform/window.h"

namespace plover {

// The history file in the program folder.
std::string DownloadDBPath();

// Loads the history (a damaged file is kept aside with a warning) and sweeps the preview folder.
void LoadDownloadHistory();
// Saves a loaded history; false (and a message shown) when it cannot be written.
bool SaveDownloadHistory();

// Loads the history, advises its sink to the downloader engine and becomes the scan windows'
// source of download marks.
void AttachDownloadHistory(IEngine* downloader);
// Waits for the basket engine's start (when it is registered).
void WaitForBasketEngine();
// Unadvises the sink, forgets the main window and saves the history.
void DetachDownloadHistory();

}  // namespace plover
