#include "download/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace plover {

bool CTargetFile::Create(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd_ >= 0;
}

bool CTargetFile::OpenExisting(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    return true;
}

void CTargetFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool CTargetFile::WriteAt(uint64_t offset, const uint8_t* data, size_t length, int* error) {
    if (fd_ < 0) {
        if (error) *error = EBADF;
        return false;
    }
    while (length > 0) {
        ssize_t n = ::pwrite(fd_, data, length, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error) *error = n < 0 ? errno : ENOSPC;  // nothing written and no error: no room
            return false;
        }
        data += n;
        length -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

bool CTargetFile::SetLength(uint64_t length) {
    if (fd_ < 0) return false;
    return ::ftruncate(fd_, off_t(length)) == 0;
}

int64_t CTargetFile::GetLength() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return int64_t(st.st_size);
}

bool IsNoSpaceError(int error) { return error == ENOSPC || error == EDQUOT; }

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

uint64_t FreeSpaceOf(const std::string& folder) {
    struct statvfs vfs {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &vfs) != 0) return UINT64_MAX;
    return uint64_t(vfs.f_bavail) * uint64_t(vfs.f_frsize);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace plover
