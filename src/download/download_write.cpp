// CDownload: writing received blocks, the target file, the size, completion and the restart from
// byte 0. A block is written only where no section holds data yet: bytes beyond the file's end or
// over data already on disk are never written, so no server answer can overwrite other sections,
// and "Finished" is set only when one section covers the whole file.
#include <unistd.h>

#include <cstring>

#include "download/download.h"
#include "app/settings.h"
#include "download/download_env.h"
#include "download/file_time.h"
#include "download/section_planner.h"
#include "html/url_resolve.h"

namespace plover {
namespace {

// The largest offset+length a block may reach: 0xFFFFFFFF itself stands for "unknown".
constexpr uint64_t kMaxFileEnd = 0xFFFFFFFEull;
// The name of a file whose address names no file (a bare server or folder address).
constexpr const char* kDefaultFileName = "index.html";

}  // namespace

bool CDownload::WriteData(uint32_t offset, const uint8_t* data, uint32_t length) {
    RefPtr<IDownload> keep(Self());
    // 1. Nothing more once finished, while a restart from byte 0 is pending, or against a full
    // disk (the other workers stop at their next block).
    if (IsFinished() || restartPending_ || status_ == DS_DISK_FULL) return false;
    if (length == 0) return true;
    uint64_t end = uint64_t(offset) + length;
    if (end > kMaxFileEnd) {  // 32-bit offsets would wrap: nothing is written
        SetStatus(DS_FILE_TOO_BIG);
        return false;
    }
    uint32_t size;
    {
        CAutoCriticalSection guard(lock_);
        size = size_;
    }
    // Bytes past the announced end are not part of the file.
    bool pastEnd = size != kUnknownSize && end > size;
    if (pastEnd) end = size;
    if (uint64_t(offset) >= end) {
        FinishIfWhole();
        return false;
    }
    // 2. The target file.
    if (!EnsureFileOpen()) return false;
    // 3-5. Under the lock: did the worker run into data on disk, which parts are new, the run
    // clock; the new parts are claimed as sections before they are written.
    SectionList parts;
    bool ranIntoData;
    {
        CAutoCriticalSection guard(lock_);
        ranIntoData = ContainsByte(sections_, uint32_t(end - 1));
        parts = UncoveredParts(sections_, offset, uint32_t(end - offset));
        if (runStart_ == kUnknownSize) runStart_ = GetDownloadEnv()->GetTicks();
        runBytes_ += length;
        sections_.insert(sections_.end(), parts.begin(), parts.end());
    }
    // 6. Straight into the file at each part's offset.
    bool written = true;
    int error = 0;
    for (const SSection& part : parts) {
        if (written && GetDownloadEnv()->WriteFile(file_, part.Start, data + (part.Start - offset), part.Size, &error))
            continue;
        written = false;
        CAutoCriticalSection guard(lock_);
        SubtractRange(sections_, part.Start, part.Size);  // claimed but not on disk
    }
    // 7. Merge, count, complete. Bytes beyond the most the download ever had are progress: the
    // attempts start afresh (bytes written again after a restart from byte 0 are not).
    bool whole;
    {
        CAutoCriticalSection guard(lock_);
        MergeSections(sections_);
        downloaded_ = SumSections(sections_);
        whole = CoversWholeFile(sections_, size_);
    }
    if (downloaded_ > progressMark_) {
        progressMark_ = downloaded_.load();
        attempts_ = 1;
        serverWaits_ = 0;
    }
    if (!written) {
        WriteFailed(error);
        return false;
    }
    if (whole) Complete();
    // 8. Progress.
    if (IsFinished()) Log(GetOriginalUrl(), LOG_FINISHED);
    NotifyOwner(NE_PROGRESS, 0);
    // 9. Go on unless past the end, finished, or (several workers) run into data on disk. A single
    // stream always runs from byte 0 and passes over what is already there.
    if (pastEnd || IsFinished()) return false;
    return !ranIntoData || singleStream_;
}

bool CDownload::SetSize(uint32_t size) {
    RefPtr<IDownload> keep(Self());
    if (size == kUnknownSize) {  // 4 GiB - 1 or more cannot be told from "unknown"
        SetStatus(DS_FILE_TOO_BIG);
        return false;
    }
    uint32_t known;
    std::string folder;
    {
        CAutoCriticalSection guard(lock_);
        known = size_;
        if (known == kUnknownSize) size_ = size;
        folder = config_.LocalFolder;
    }
    if (known != kUnknownSize && known != size) {  // the server's file is not the one on disk
        RestartFromZero();
        return false;
    }
    sizeState_ = SIZE_KNOWN;
    uint64_t needed = size - std::min(size, uint32_t(downloaded_));
    uint64_t free = GetDownloadEnv()->GetFreeSpace(folder.empty() ? "." : folder);
    if (needed > 0 && free <= needed) {
        Log("Not enough free space for " + std::to_string(size) + " bytes in " + folder, LOG_RESPONSE);
        SetStatus(DS_DISK_FULL);
        return false;
    }
    if (!EnsureFileOpen()) return false;
    if (!file_.SetLength(size)) return false;
    if (size == 0) Complete();
    return true;
}

void CDownload::WriteFailed(int error) {
    std::string path = GetLocalPath();
    Log("Cannot write " + path + ": " + std::strerror(error), LOG_RESPONSE);
    // A full disk stays full however often it is asked: the download stops until the user has
    // made room and retries (its sections are kept, so it continues where it stopped).
    if (IsNoSpaceError(error))
        SetStatus(DS_DISK_FULL);
    else
        AttemptFailed(DS_FAILED, RunningLeechCount() > 1);  // the writing worker is one of them
}

bool CDownload::EnsureFileOpen() {
    if (file_.IsOpen()) return true;
    bool haveSections;
    {
        CAutoCriticalSection guard(lock_);
        haveSections = !sections_.empty();
    }
    // Data of this download is on disk: continue in that file, never truncate it.
    if (haveSections) {
        ReopenForSections();
        if (file_.IsOpen()) return true;
    }
    std::string path;
    uint32_t size;
    {
        CAutoCriticalSection guard(lock_);
        if (config_.FileName.empty()) config_.FileName = kDefaultFileName;
        path = JoinPath(config_.LocalFolder, config_.FileName);
        size = size_;
    }
    // Whether something is there matters only to an own file or one not confirmed for replacing
    // (a page manager's fetch into the file it made itself is neither): the look is spared.
    const bool exists = (ownFile_ || !overwriteConfirmed_) && PathExists(path);
    if (exists && ownFile_ && file_.OpenExisting(path)) {
        // This download's own file from an earlier run (the placeholder of a run that ended
        // before its first byte was recorded): taken up again, never refused.
        if (size != kUnknownSize) file_.SetLength(size);
        return true;
    }
    if (exists && !overwriteConfirmed_ && !SettingOverwriteAlways()) {
        SetSuperStatus(DS_TGT_FILE_EXISTS);
        SetStatus(DS_WAIT_FOR_USER);
        return false;
    }
    // The record reaches the list file before the file exists.
    ownFile_ = 1;
    NotifyOwner(NE_FILE_CREATING, 0);
    if (!file_.Create(path)) {
        ownFile_ = 0;
        SetSuperStatus(DS_CANT_CREATE_FILE);
        SetStatus(DS_WAIT_FOR_USER);
        return false;
    }
    if (size != kUnknownSize) file_.SetLength(size);
    return true;
}

bool CDownload::ReopenForSections() {
    std::string path, name;
    uint64_t highest;
    {
        CAutoCriticalSection guard(lock_);
        name = config_.FileName;
        path = JoinPath(config_.LocalFolder, name);
        highest = HighestEnd(sections_);
    }
    bool kept = false;
    if (!name.empty() && (file_.IsOpen() || file_.OpenExisting(path))) {
        int64_t length = file_.GetLength();
        kept = length >= 0 && uint64_t(length) >= highest;
        if (!kept) file_.SetLength(0);  // shorter than its sections: start again from byte 0
    }
    if (!kept) {
        CAutoCriticalSection guard(lock_);
        sections_.clear();
        downloaded_ = 0;
    }
    return kept;
}

void CDownload::CloseFile() { file_.Close(); }

void CDownload::DeleteLocalFile() {
    std::string path = GetLocalPath();
    if (!GetFileName().empty()) ::unlink(path.c_str());
    ownFile_ = 0;
}

void CDownload::Complete() {
    RefPtr<IDownload> keep(Self());
    CloseFile();
    if (htmlSubstitute_) {
        CompleteHtmlSubstitute();
        return;
    }
    FinishIfWhole();
}

bool CDownload::FinishIfWhole() {
    bool whole, createEmpty = false;
    {
        CAutoCriticalSection guard(lock_);
        MergeSections(sections_);
        if (size_ == kUnknownSize) {
            // A stream of unknown size ended: what arrived from byte 0 on is the file.
            if (sections_.empty()) {
                size_ = 0;
                createEmpty = true;
            } else if (sections_.size() == 1 && sections_[0].Start == 0) {
                size_ = sections_[0].Size;
            }
            if (size_ != kUnknownSize) sizeState_ = SIZE_KNOWN;
        }
        whole = CoversWholeFile(sections_, size_);
    }
    if (whole && createEmpty && !PathExists(GetLocalPath())) {
        if (!EnsureFileOpen()) return false;
        CloseFile();
    }
    if (!whole) {
        // Holes are never reported as a finished file: the planner fetches them.
        if (status_ == DS_DOWNLOADING || status_ == DS_CONNECTING) SetStatus(DS_WAITING);
        return false;
    }
    CloseFile();
    // Before the finish is told: whoever looks at the file then sees its final time.
    if (GetSettings().bServerFileTime && TakesServerFileTime(config_.ClientID))
        SetFileTimeFromHttpDate(GetLocalPath(), GetLastModified());
    SetStatus(DS_FINISHED);
    return true;
}

void CDownload::CompleteHtmlSubstitute() {
    std::string path = GetLocalPath(), html;
    ReadWholeFile(path, html);
    std::string link = FindHtmlFollowAddress(html);
    // A link relative to the page is taken from the page's own address.
    if (!link.empty() && link.find("://") == std::string::npos && link.front() != '/' && link.front() != '\\')
        link = ResolveUrl(link, GetRemoteUrl());
    DeleteLocalFile();
    htmlSubstitute_ = 0;
    singleStream_ = config_.IsWholeFile() ? 1 : 0;
    {
        // The page is gone from disk, and so are its sections.
        CAutoCriticalSection guard(lock_);
        sections_.clear();
        downloaded_ = 0;
        size_ = kUnknownSize;
    }
    progressMark_ = 0;
    if (link.empty())
        SetStatus(DS_NOT_AVAILABLE);
    else
        Redirect(link);
}

void CDownload::DoRestartFromZero() {
    StopAllLeeches();
    {
        CAutoCriticalSection guard(lock_);
        sections_.clear();
        downloaded_ = 0;
        size_ = kUnknownSize;
        lastModified_.clear();
        runStart_ = kUnknownSize;
        runBytes_ = 0;
    }
    sizeState_ = SIZE_UNKNOWN;
    progressMark_ = 0;  // another file: its bytes are progress again
    singleStream_ = config_.IsWholeFile() ? 1 : 0;
    if (file_.IsOpen()) file_.SetLength(0);
    restartPending_ = false;
    Log("The file changed on the server; fetching it again from the start: " + GetOriginalUrl(), LOG_RESPONSE);
    if (!IsPaused()) SetStatus(DS_WAITING);
    Reschedule();
}

void CDownload::CheckFileAfterLoad() {
    Initialize();
    bool haveSections;
    uint32_t size;
    {
        CAutoCriticalSection guard(lock_);
        haveSections = !sections_.empty();
        size = size_;
    }
    if (status_ == DS_FINISHED) return;
    if (size != kUnknownSize && haveSections) ReopenForSections();
    bool whole;
    {
        CAutoCriticalSection guard(lock_);
        whole = CoversWholeFile(sections_, size_) && size_ != 0;
    }
    if (whole) Complete();
}

}  // namespace plover
