#include "baskets/move_files.h"
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace plover {
namespace fs = std::filesystem;
namespace {

constexpr size_t kBlock = 1 << 20;
std::atomic<bool> g_running{false};

std::string FolderForm(const std::string& folder) {
    std::string s = fs::path(folder).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

void Step(HWND w, uint64_t number, const std::string* path) {
    auto* copy = path ? new std::string(*path) : nullptr;
    if (!PostMessage(w, WM_PV_MOVE_STEP, WPARAM(number), reinterpret_cast<LPARAM>(copy))) delete copy;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

class CMover {
public:
    CMover(SMoveJob& job, SMoveReport& report) : job_(job), report_(report) {}

    void Run() {
        PostMessage(job_.window, WM_PV_MOVE_RANGE, job_.files.size(), 0);
        uint64_t total = 0;
        for (size_t i = 0; i < job_.files.size(); ++i) {
            struct stat st;
            if (::stat(job_.files[i].c_str(), &st) == 0) total += uint64_t(st.st_size);
            Step(job_.window, i + 1, nullptr);
        }
        PostMessage(job_.window, WM_PV_MOVE_RANGE, WPARAM(total / 1024), 0);
        std::string target = FolderForm(job_.targetFolder);
        for (const std::string& file : job_.files) {
            if (job_.cancel) break;
            MoveOne(file, target);
        }
        PostMessage(job_.window, WM_PV_MOVE_DONE, 0, 0);
    }

private:
    void MoveOne(const std::string& file, const std::string& folder) {
        if (FolderForm(fs::path(file).parent_path().string()) == folder) {
            report_.skipped.push_back(file);
            return;
        }
        Step(job_.window, done_ / 1024, &file);
        std::string target = (fs::path(folder) / fs::path(file).filename()).string();
        if (Exists(target) && !MayOverwrite(file, target)) {
            report_.skipped.push_back(file);
            return;
        }
        std::string error;
        if (!Transfer(file, target, &error)) {
            if (!error.empty()) report_.errors.push_back(file + ": " + error);
            return;
        }
        if (job_.db) job_.db->RenamePath(file, target);
        report_.moved.emplace_back(file, target);
    }

    // Decides a conflict; to overwrite, the existing target goes first.
    bool MayOverwrite(const std::string& file, const std::string& target) {
        EConflictAnswer answer = EConflictAnswer::Skip;
        if (skipAll_)
            return false;
        else if (overwriteAll_)
            answer = EConflictAnswer::Overwrite;
        else if (job_.conflict)
            answer = job_.conflict->TargetExists(file, target);
        if (answer == EConflictAnswer::SkipAll) skipAll_ = true;
        if (answer == EConflictAnswer::OverwriteAll) overwriteAll_ = true;
        if (answer != EConflictAnswer::Overwrite && answer != EConflictAnswer::OverwriteAll) return false;
        if (::unlink(target.c_str()) != 0) {
            if (job_.conflict) job_.conflict->CantDelete(target);
            return false;
        }
        return true;
    }

    // A rename on one file system; a copy in blocks and a delete across file systems. A
    // cancelled copy deletes its incomplete target; the error is then empty.
    bool Transfer(const std::string& from, const std::string& to, std::string* error) {
        struct stat st{};
        ::stat(from.c_str(), &st);
        if (::rename(from.c_str(), to.c_str()) == 0) {
            done_ += uint64_t(st.st_size);
            Step(job_.window, done_ / 1024, nullptr);
            return true;
        }
        if (errno != EXDEV) {
            *error = std::strerror(errno);
            return false;
        }
        int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0) {
            *error = std::strerror(errno);
            return false;
        }
        int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777);
        if (out < 0) {
            *error = std::strerror(errno);
            ::close(in);
            return false;
        }
        bool ok = Copy(in, out, error);
        ok = (::close(out) == 0) && ok;
        ::close(in);
        if (!ok || job_.cancel) {
            ::unlink(to.c_str());
            return false;
        }
        if (::unlink(from.c_str()) != 0) {
            // Both copies exist: the new one is whole, so the history follows it.
            if (job_.conflict) job_.conflict->CantDelete(from);
        }
        return true;
    }

    bool Copy(int in, int out, std::string* error) {
        if (buffer_.empty()) buffer_.resize(kBlock);
        for (;;) {
            if (job_.cancel) return true;
            ssize_t n = ::read(in, buffer_.data(), kBlock);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                *error = std::strerror(errno);
                return false;
            }
            if (n == 0) return true;
            if (!WriteAll(out, std::string_view(reinterpret_cast<const char*>(buffer_.data()), size_t(n)))) {
                *error = std::strerror(errno);
                return false;
            }
            done_ += uint64_t(n);
            Step(job_.window, done_ / 1024, nullptr);
        }
    }

    SMoveJob& job_;
    SMoveReport& report_;
    std::string buffer_;
    uint64_t done_ = 0;
    bool skipAll_ = false;
    bool overwriteAll_ = false;
};

}  // namespace

std::string CantDeleteFileMessage(const std::string& path) { return "Can't delete file " + path + "."; }

void FreeMoveNotice(uint32_t msg, WPARAM, LPARAM lp) {
    if (msg == WM_PV_MOVE_STEP) delete reinterpret_cast<std::string*>(lp);
}

SMoveReport RunMoveJob(SMoveJob& job) {
    SMoveReport report;
    if (job.files.empty() || !job.window) return report;
    bool expected = false;
    if (!g_running.compare_exchange_strong(expected, true)) return report;
    report.ran = true;
    CMover(job, report).Run();
    g_running = false;
    return report;
}

}  // namespace plover
