#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace plover {
namespace {

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename of a new file into its folder survive a crash.
void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Creates a new file beside `path` that nobody else uses; -1 (errno set) when that cannot be done.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

int ReadWholeFile(const std::string& path, std::string* out, uint64_t maxBytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0) {
        err = errno;
    } else if (S_ISDIR(st.st_mode)) {
        err = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        err = EINVAL;
    } else if (uint64_t(st.st_size) > maxBytes) {
        err = EFBIG;
    }
    out->clear();
    if (!err && st.st_size > 0) out->reserve(size_t(st.st_size));
    char buffer[65536];
    // The size is only a hint: read until the end, never beyond the limit.
    while (!err) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        if (out->size() + uint64_t(n) > maxBytes) err = EFBIG;
        else out->append(buffer, size_t(n));
    }
    ::close(fd);
    return err;
}

bool SaveFileAtomically(const std::string& path, std::string_view bytes, const SSaveOptions& options,
                        std::string* error) {
    std::string temp;
    int fd = CreateTemporaryBeside(path, temp);
    if (fd < 0) {
        if (error) *error = "cannot create a file in " + FolderOf(path) + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ::fchmod(fd, options.mode) == 0 && WriteAll(fd, bytes) && (!options.durable || ::fsync(fd) == 0);
    int err = errno;
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, err = errno;
    if (!ok) {
        ::unlink(temp.c_str());
        if (error) *error = "cannot write " + path + ": " + std::strerror(err);
        return false;
    }
    if (options.durable) SyncFolder(FolderOf(path));
    return true;
}

}  // namespace plover
