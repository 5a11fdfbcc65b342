// Saving and loading a text tree file. A save never writes over the old file in place: the new
// form goes to a temporary file in the same folder, is flushed to disk and then renamed over the
// old one, so after a crash or a full disk the previous file is still whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "texttree/text_tree.h"

namespace plover {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

// Creates a new file beside path that nobody else uses; -1 when the folder is not writable.
int CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(size_t(st.st_size));
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        out.append(buffer, size_t(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace

bool CTextTree::Save(const std::string& path) const {
    std::string tempPath;
    int fd = CreateTemporaryBeside(path, tempPath);
    if (fd < 0) return false;
    // Mode 0600 whatever the old file had: the list holds the downloads' logins.
    bool ok = WriteAll(fd, Serialize()) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tempPath.c_str());
    return ok;
}

bool CTextTree::Load(const std::string& path, ITextTreeProgress* progress) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        Clear();
        complete_ = false;
        return false;
    }
    return Parse(text, progress);
}

}  // namespace plover
