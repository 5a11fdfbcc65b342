#include "baskets/history_parts.h"

#include <mutex>

#include "app/message.h"
#include "baskets/basket_engine.h"
#include "baskets/download_db.h"
#include "baskets/download_db_sink.h"
#include "baskets/download_tips.h"
#include "engine/engine_mgr.h"
#include "platform/kept_aside.h"
#include "platform/homes.h"
#include "scan/download_mark.h"

namespace plover {
namespace {

std::mutex g_lock;
RefPtr<IDownloader> g_advised;  // the downloader the sink is advised to

}  // namespace

std::string DownloadDBPath() { return GetProgramFolder() + kDownloadDBName; }

void LoadDownloadHistory() {
    CDownloadDB& db = GetDownloadDB();
    std::string file = DownloadDBPath();
    SDownloadDBLoad r = db.Load(file);
    if (r.status == SDownloadDBLoad::EStatus::Damaged)
        ShowMessage(KeptAsideWarning("download history", file, DownloadDBReadText(r.read), r.keptAs, r.reason,
                                     r.keptAs.empty() ? "Plover starts with an empty history and will not write over it"
                                                      : "Plover starts with an empty history"));
    else if (r.status == SDownloadDBLoad::EStatus::Unreadable)
        ShowMessage("warning: the download history " + file + " cannot be read (" + r.reason +
                    "); Plover starts with an empty history and will not write over the file.");
    db.SweepPreviews(ProgramPreviewFolder());
}

bool SaveDownloadHistory() {
    CDownloadDB& db = GetDownloadDB();
    if (!db.IsLoaded()) return true;
    std::string error;
    if (db.Save(DownloadDBPath(), &error)) return true;
    ShowMessage("the download history could not be saved: " + error);
    return false;
}

void AttachDownloadHistory(IEngine* downloader) {
    LoadDownloadHistory();
    auto dl = QueryAs<IDownloader>(downloader, IID_IDownloader);
    if (!dl) return;
    dl->Advise(&GetDownloadDBSink());
    // The scan windows mark each result with what the history knows of it.
    std::string previews = ProgramPreviewFolder();
    SetDownloadMarkSource([previews](const std::string& url) {
        SDownloadTip tip = DescribeAddress(GetDownloadDB(), url, previews);
        if (tip.state == EDownloadState::Queued) return EDownloadMark::Queued;
        return tip.state == EDownloadState::None ? EDownloadMark::None : EDownloadMark::OnDisk;
    });
    std::lock_guard g(g_lock);
    g_advised = dl;
}

void WaitForBasketEngine() {
    RefPtr<IEngine> engine;
    if (!GetEngineMgr()->GetEngine(ENGINE_ID_BASKET, engine.Put())) return;
    // Any waiting post returns once the start (list loaded, downloads queued) has run.
    engine->Post(BOP_SYNC, 0, 0, true, false);
}

void DetachDownloadHistory() {
    RefPtr<IDownloader> dl;
    {
        std::lock_guard g(g_lock);
        dl = std::move(g_advised);
    }
    if (dl) dl->Unadvise(&GetDownloadDBSink());
    // The marks stay: the history outlives the engines, and a command may print its results
    // after they have stopped.
    GetDownloadDB().SetMainWindow(nullptr);
    SaveDownloadHistory();
}

}  // namespace plover
