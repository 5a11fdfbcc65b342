// CDownload: host resolution, the section planner and the worker list.
#include <arpa/inet.h>

#include "download/download.h"
#include "download/download_env.h"
#include "download/section_planner.h"

namespace plover {
namespace {

// The planner opens no new connection while this many socket objects exist, which keeps the
// socket engine below the 63 handles one wait can serve.
constexpr int32_t kMaxLiveSockets = 60;

}  // namespace

void CDownload::StartHostResolution() {
    SConnectTarget target;
    {
        CAutoCriticalSection guard(lock_);
        target = ChooseConnectTarget(config_.Service, config_.Server, config_.Port, CurrentProxyChoice());
        // An HTTP proxy that fetches ftp:// addresses cannot be trusted with byte ranges (squid
        // applies the offset twice and sends the wrong bytes): such a file comes in one stream.
        if (config_.Service == SERVICE_FTP && target.leech == LEECH_KIND_HTTP) singleStream_ = 1;
        serverAddress_ = sockaddr_in{};
        serverAddress_.sin_family = AF_INET;
        serverAddress_.sin_port = htons(target.port);
        in_addr dotted{};
        if (inet_pton(AF_INET, target.host.c_str(), &dotted) == 1) {
            serverAddress_.sin_addr = dotted;
            hostState_ = HOST_RESOLVED;
            return;
        }
    }
    hostState_ = HOST_LOOKING;
    SetStatus(DS_LOOKING_FOR_SITE);
    Log(target.host, LOG_LOOKUP);
    GetDownloadEnv()->ResolveHostAsync(GetServerAddress(), target.host, this);
}

void CDownload::OnHostByName(SHostLookup* lookup) {
    if (!lookup) return;
    if (lookup->resolved) {
        char dotted[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &lookup->address.sin_addr, dotted, sizeof dotted);
        Log(lookup->host + " (" + dotted + ")", LOG_LOOKUP_OK);
        {
            CAutoCriticalSection guard(lock_);
            serverAddress_.sin_family = AF_INET;
            serverAddress_.sin_addr = lookup->address.sin_addr;
        }
        hostState_ = HOST_RESOLVED;
        if (!IsPaused()) SetStatus(DS_WAITING);
    } else {
        Log(lookup->host, LOG_LOOKUP_FAILED);
        hostState_ = HOST_UNRESOLVED;
        if (!IsPaused()) SetStatus(DS_SITE_NOT_FOUND);
    }
    Reschedule();
}

SectionList CDownload::OccupiedRanges() {
    CAutoCriticalSection guard(lock_);
    SectionList occupied = sections_;
    for (ILeech* l : leeches_) {
        if (!l->HasEnd()) continue;
        uint32_t pos = l->GetPosition(), end = l->GetEnd();
        if (pos <= end) occupied.push_back({pos, end - pos + 1});
    }
    MergeSections(occupied);
    return occupied;
}

bool CDownload::StartWorker(uint32_t start, uint32_t end) {
    ELeechKind kind;
    {
        CAutoCriticalSection guard(lock_);
        kind = ChooseConnectTarget(config_.Service, config_.Server, config_.Port, CurrentProxyChoice()).leech;
    }
    RefPtr<ILeech> leech;
    if (kind == LEECH_KIND_NONE || !GetDownloadEnv()->CreateLeech(kind, Self(), start, end, leech)) {
        SetStatus(DS_FAILED);
        return false;
    }
    if (!leech) {
        // A worker that already ended the download for good (no trust anchors to check a server
        // with) keeps its status: trying again would not help.
        if (IsStoppingFailure(GetStatus())) return false;
        // No connection at all (no route, a refused address, no free descriptor): a failed
        // attempt like any other, or the download would wait in "Connecting" for ever.
        AttemptFailed(DS_CANT_CONNECT, RunningLeechCount() > 0);
        return false;
    }
    CAutoCriticalSection guard(lock_);
    leeches_.Add(leech.Get());
    leechCount_.store(int(leeches_.GetSize()));
    return true;
}

bool CDownload::PlanSection() {
    RefPtr<IDownload> keep(Self());
    // 1. Nothing while finished, while a single stream runs, or near the socket limit. "Not
    // modified" is an end as well: the server has just said the copy on disk is current, and
    // asking again would only repeat the conditional request until the owner takes the download
    // out of the list.
    if (IsFinished() || status_ == DS_NOT_MODIFIED) return false;
    if (singleStream_ && GetLeechCount() > 0) return false;
    if (GetDownloadEnv()->GetLiveSocketCount() >= kMaxLiveSockets) return false;
    if (restartPending_) {  // the server's file changed: the restart runs first
        if (GetLeechCount() > 0) return false;
        DoRestartFromZero();
    }
    // 2. The address to connect to.
    if (hostState_ != HOST_RESOLVED) {
        if (hostState_ == HOST_UNRESOLVED && status_ != DS_SITE_NOT_FOUND) StartHostResolution();
        if (hostState_ != HOST_RESOLVED) return false;
    }
    // 3. Held, or failed for good.
    DownloadStatus status = status_;
    if (StatusHas(status, DSF_HELD) || IsStoppingFailure(status)) return false;
    // A failed attempt's pause: no new connection before it has passed.
    if (retryWait_) {
        if (int32_t(GetDownloadEnv()->GetTicks() - retryAt_.load()) < 0) return false;
        retryWait_ = false;
    }
    // 4. One worker at a time until the last one receives.
    int workers = GetLeechCount();
    if (workers > 0) {
        RefPtr<ILeech> last;
        if (!GetLeech(workers - 1, last.Put()) || last->GetState() != LEECH_RECEIVING) return false;
    } else {
        SetStatus(DS_CONNECTING);
    }
    // 5. The probe learns the size.
    if (sizeState_ == SIZE_UNKNOWN) {
        sizeState_ = SIZE_PROBING;
        bool started = StartWorker(0, 0);
        if (!started) sizeState_ = SIZE_UNKNOWN;
        return started;
    }
    if (sizeState_ != SIZE_KNOWN) return false;
    // 6. Within the limits.
    SetStatus(DS_DOWNLOADING);
    uint32_t size;
    {
        CAutoCriticalSection guard(lock_);
        size = size_;
    }
    if (size == kUnknownSize) return false;
    uint32_t running = 0;
    {
        CAutoCriticalSection guard(lock_);
        for (ILeech* l : leeches_)
            if (!l->IsStopped()) ++running;
    }
    const uint32_t maxSect = SettingMaxSectPerDownload();
    if (running >= maxSect || (config_.SingleSection && running != 0)) return false;
    // 7-9. The gaps and the chunk. A single stream always starts at byte 0 (the server sends the
    // file from its start); the single-section worker takes the largest gap whole.
    SSection chunk;
    if (singleStream_) {
        chunk = {0, size};
    } else {
        SectionList gaps = CutGaps(OccupiedRanges(), size);
        chunk = PlaceChunk(gaps, size, maxSect, config_.SingleSection != 0, SettingMinSectSize());
    }
    // 10. Start it.
    if (!IsPlaceable(chunk, size)) return false;
    return StartWorker(chunk.Start, uint32_t(chunk.End() - 1));
}

uint32_t CDownload::FirstSectionSize(uint32_t size) {
    if (size == 0 || size == kUnknownSize) return 0;
    // The chunk the planner would place first in the empty file, which a gap at 0 gets at its start.
    const SSection first = PlaceChunk({{0, size}}, size, SettingMaxSectPerDownload(), config_.SingleSection != 0,
                                      SettingMinSectSize());
    return first.Start == 0 ? first.Size : 0;
}

template <class Pick>
int CDownload::DetachLeeches(Pick pick) {
    std::vector<RefPtr<ILeech>> gone;
    int left;
    {
        CAutoCriticalSection guard(lock_);
        for (size_t i = 0; i < leeches_.GetSize();) {
            if (pick(leeches_[i])) {
                gone.emplace_back(leeches_[i]);
                leeches_.RemoveAt(i);
            } else {
                ++i;
            }
        }
        left = int(leeches_.GetSize());
        leechCount_.store(left);
    }
    for (auto& l : gone) l->Stop();
    if (!gone.empty() && left == 0 && sizeState_ == SIZE_PROBING) {
        // The probe ended without a size: ask again.
        sizeState_ = SIZE_UNKNOWN;
        CAutoCriticalSection guard(lock_);
        runStart_ = kUnknownSize;
    }
    return left;
}

void CDownload::StopAllLeeches() {
    RefPtr<IDownload> keep(Self());
    if (GetLeechCount() == 0) return;
    DetachLeeches([](ILeech*) { return true; });
    if (!IsPaused() && !IsFinished()) SetStatus(DS_WAITING);
}

int CDownload::RemoveStoppedLeeches() {
    RefPtr<IDownload> keep(Self());
    return DetachLeeches([](ILeech* l) { return l->IsStopped() != 0; });
}

void CDownload::StopLeeches(int count) {
    RefPtr<IDownload> keep(Self());
    if (count < 1 || count > GetLeechCount()) return;
    int taken = 0;
    int left = DetachLeeches([&taken, count](ILeech*) { return taken < count && ++taken > 0; });
    if (left == 0 && !IsPaused()) SetStatus(DS_WAITING);
}

}  // namespace plover
