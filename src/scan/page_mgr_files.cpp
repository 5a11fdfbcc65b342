#include "scan/page_mgr_files.h"
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <random>
#include <system_error>
#include <unordered_set>

namespace plover {
namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The next candidate number for a new name: a random start, then counting up, as the system's
// temporary-file naming counts up from a time-based start.
uint32_t NextCandidate() {
    static std::atomic<uint32_t> next{[] {
        std::random_device rd;
        return uint32_t(rd());
    }()};
    return next.fetch_add(1);
}

}  // namespace

bool IsCacheFileName(const std::string& name) {
    std::string lower = Lower(name);
    return lower.size() > 8 && lower.compare(0, 4, kCacheFilePrefix) == 0 &&
           lower.compare(lower.size() - 4, 4, ".tmp") == 0;
}

bool CreateCacheFile(const fs::path& folder, std::string* name) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%X.tmp", kCacheFilePrefix, NextCandidate());
        fs::path path = folder / buf;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            *name = buf;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

int SweepCacheFolder(const fs::path& folder, const std::vector<std::string>& keep) {
    std::unordered_set<std::string> kept;
    for (const std::string& n : keep) kept.insert(Lower(n));
    std::vector<fs::path> doomed;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!IsCacheFileName(name) || kept.count(Lower(name))) continue;
        std::error_code typeError;
        if (it->is_regular_file(typeError)) doomed.push_back(it->path());
    }
    int deleted = 0;
    for (const fs::path& p : doomed)
        if (fs::remove(p, ec)) ++deleted;
    return deleted;
}

bool FileAgeSeconds(const fs::path& file, int64_t* age) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) return false;
    *age = int64_t(std::time(nullptr)) - int64_t(st.st_mtime);
    return true;
}

void TouchFile(const fs::path& file) { ::utimensat(AT_FDCWD, file.c_str(), nullptr, 0); }

bool IsRegularFile(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

bool DeleteFile(const fs::path& file) {
    std::error_code ec;
    fs::remove(file, ec);
    return !ec;
}

bool ReadSmallFile(const fs::path& file, uint64_t maxBytes, std::string* bytes, bool* opened) {
    int err = ReadWholeFile(file.string(), bytes, maxBytes);
    // A file that is there but too large or not a plain file was still found.
    *opened = err == 0 || err == EFBIG || err == EISDIR || err == EINVAL;
    return err == 0;
}

bool WriteFileAtomically(const fs::path& file, const std::string& bytes) {
    // The cache's own files: readable by all, and not worth a flush to disk each.
    return SaveFileAtomically(file.string(), bytes, {0644, false});
}

bool CopyIntoFolder(const fs::path& from, const fs::path& folder, std::string* name) {
    fs::path to = folder / *name;
    // A hard link never replaces its target; on the same file system it is the copy itself.
    if (::link(from.c_str(), to.c_str()) == 0) return true;
    bool taken = errno == EEXIST;
    std::error_code ec;
    if (!taken) {
        if (fs::copy_file(from, to, fs::copy_options::none, ec)) return true;
        if (ec != std::errc::file_exists) {
            fs::remove(to, ec);  // a partial copy (a full disk) is no copy
            return false;
        }
    }
    // The name is taken (another cache's file): a new name, reserved empty, then filled.
    std::string fresh;
    if (!CreateCacheFile(folder, &fresh)) return false;
    to = folder / fresh;
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(to, ec);
        return false;
    }
    *name = fresh;
    return true;
}

}  // namespace plover
