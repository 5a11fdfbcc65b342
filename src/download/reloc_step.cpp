#include "download/reloc_step.h"
#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace plover {
namespace {

void End(CRelocInfo& r, uint32_t code) {
    r.result = code;
    r.CloseFiles();
}

// A new, empty temporary file beside the target: "<target>.plover-XXXXXX".
bool CreatePart(CRelocInfo& r) {
    std::string name = r.target + ".plover-XXXXXX";
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::fchmod(fd, 0644);
    r.targetFd = fd;
    r.partPath = name;
    return true;
}

// Not started: the size, then a rename when possible, else the two files of the copy.
bool Begin(CRelocInfo& r, SRelocStep& step, bool tryRename) {
    struct stat st{};
    if (::stat(r.source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        End(r, RELOC_ERR_OPEN_SOURCE);
        return false;
    }
    r.total = uint64_t(st.st_size);
    r.copied = 0;
    struct stat there{};
    if (::stat(r.target.c_str(), &there) == 0 && S_ISDIR(there.st_mode)) {
        End(r, RELOC_ERR_CREATE_TARGET);  // a folder of that name stands in the way
        return false;
    }
    if (tryRename && ::rename(r.source.c_str(), r.target.c_str()) == 0) {
        r.copied = r.total;  // one filesystem: moved at once
        r.result = RELOC_DONE;
        step.progressed = true;
        return false;
    }
    r.sourceFd = ::open(r.source.c_str(), O_RDONLY | O_CLOEXEC);
    if (r.sourceFd < 0) {
        End(r, RELOC_ERR_OPEN_SOURCE);
        return false;
    }
    if (!CreatePart(r)) {
        End(r, RELOC_ERR_CREATE_TARGET);
        return false;
    }
    r.result = RELOC_COPYING;
    return true;
}

// The copy is whole: on disk, under the target's name, and the source gone.
void Finish(CRelocInfo& r) {
    bool synced = ::fdatasync(r.targetFd) == 0;
    bool closed = ::close(r.targetFd) == 0;
    r.targetFd = -1;
    if (!synced || !closed || ::rename(r.partPath.c_str(), r.target.c_str()) != 0) {
        End(r, RELOC_ERR_WRITE);
        return;
    }
    r.partPath.clear();
    ::close(r.sourceFd);
    r.sourceFd = -1;
    if (::unlink(r.source.c_str()) != 0) {
        ::unlink(r.target.c_str());  // the file stays where it was, whole
        End(r, RELOC_ERR_DELETE_SOURCE);
        return;
    }
    r.result = RELOC_DONE;
}

}  // namespace

SRelocStep StepRelocation(CRelocInfo& r, uint8_t* buffer, size_t blockSize, bool tryRename) {
    SRelocStep step;
    if (r.result == RELOC_NOT_STARTED && !Begin(r, step, tryRename)) return step;
    if (r.result != RELOC_COPYING) return step;
    size_t want = size_t(std::min<uint64_t>(blockSize, r.total - r.copied));
    ssize_t n = 0;
    if (want > 0) {
        do {
            n = ::read(r.sourceFd, buffer, want);
        } while (n < 0 && errno == EINTR);
    }
    // A source that ends before its size was read is not copied whole: the move fails.
    if (n < 0 || (n == 0 && r.copied < r.total)) {
        End(r, RELOC_ERR_READ);
        return step;
    }
    if (!WriteAll(r.targetFd, std::string_view(reinterpret_cast<const char*>(buffer), size_t(n)))) {
        End(r, RELOC_ERR_WRITE);
        return step;
    }
    r.copied += uint64_t(n);
    step.progressed = true;
    if (r.copied == r.total) Finish(r);
    return step;
}

}  // namespace plover
