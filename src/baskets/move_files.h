#pragma once
// The job that moves files into one folder (a basket's folder view, `plover basket move`). It
// runs on a worker thread and reports to a progress window; one job runs at a time.
//
//  1. The window hears the number of files (WM_PV_MOVE_RANGE), then each index whose size has
//     been added up (WM_PV_MOVE_STEP with the index).
//  2. It hears the total in KiB (WM_PV_MOVE_RANGE).
//  3. For each file, until cancelled: a file already in the target folder is skipped. Otherwise
//     the window hears the file (WM_PV_MOVE_STEP with the KiB done so far and the path). When
//     the target (folder + the file's name) exists, the answer decides: after "Skip All" skip,
//     after "Overwrite All" overwrite, else the conflict callback is asked ("Target File
//     Exists": "Overwrite", "Overwrite All", "Skip", "Skip All"). To overwrite, the existing
//     target is deleted first; when that fails the callback shows "Can't delete file %s." and
//     the file is skipped.
//  4. Moving one file: on the same file system it is renamed; otherwise it is copied in 1 MiB
//     blocks (the window hears the KiB done after each block) and the source deleted, or, when
//     the job was cancelled meanwhile, the incomplete target deleted. The history is told of
//     every new path (RenamePath).
//  5. At the end the window hears WM_PV_MOVE_DONE.
//
// Messages: wp is a number; WM_PV_MOVE_STEP's lp is a new std::string (the path) or 0, which
// the window deletes (FreeMoveNotice for one it drops).
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "baskets/download_db.h"
#include "platform/window.h"

namespace plover {

constexpr uint32_t WM_PV_MOVE_RANGE = 0x8002;
constexpr uint32_t WM_PV_MOVE_DONE = 0x8003;
constexpr uint32_t WM_PV_MOVE_STEP = 0x8005;

inline constexpr const char* kTargetExistsTitle = "Target File Exists";
inline constexpr const char* kAnswerOverwrite = "Overwrite";
inline constexpr const char* kAnswerOverwriteAll = "Overwrite All";
inline constexpr const char* kAnswerSkip = "Skip";
inline constexpr const char* kAnswerSkipAll = "Skip All";
inline constexpr const char* kMsgCantDeleteFormat = "Can't delete file %s.";
std::string CantDeleteFileMessage(const std::string& path);

void FreeMoveNotice(uint32_t msg, WPARAM wp, LPARAM lp);

enum class EConflictAnswer { Overwrite, OverwriteAll, Skip, SkipAll };

// Asked on the job's thread.
struct IMoveConflict {
    // The target exists: what to do. Any way of closing the question but the four answers is Skip.
    virtual EConflictAnswer TargetExists(const std::string& source, const std::string& target) = 0;
    // Shows "Can't delete file %s."; the file is skipped.
    virtual void CantDelete(const std::string& path) = 0;

protected:
    ~IMoveConflict() = default;
};

struct SMoveJob {
    std::vector<std::string> files;
    std::string targetFolder;
    HWND window = nullptr;
    IMoveConflict* conflict = nullptr;  // null: every conflict is skipped
    CDownloadDB* db = nullptr;          // told of every new path
    std::atomic<bool> cancel{false};
};

struct SMoveReport {
    std::vector<std::pair<std::string, std::string>> moved;  // (from, to)
    std::vector<std::string> skipped;
    std::vector<std::string> errors;  // one text per file that could not be moved
    bool ran = false;                 // false: another job was running, or no list or window
};

// Runs the job on the calling thread (the worker). Only one runs at a time in the process.
SMoveReport RunMoveJob(SMoveJob& job);

}  // namespace plover
