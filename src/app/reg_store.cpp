#include "app/reg_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/reg_text.h"
#include "platform/kept_aside.h"

namespace plover {
namespace {

constexpr uintmax_t kMaxStoreBytes = 64u << 20;  // far beyond any real store

std::string TempPrefix(const std::filesystem::path& file) { return file.filename().string() + ".tmp-"; }

void RemoveStaleTemps(const std::filesystem::path& file) {
    std::error_code ec;
    std::string prefix = TempPrefix(file);
    for (std::filesystem::directory_iterator it(file.parent_path().empty() ? "." : file.parent_path(), ec), end;
         !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind(prefix, 0) == 0) std::filesystem::remove(it->path(), ec);
    }
}

// 0 with the whole file in text, or an errno value (EFBIG: beyond kMaxStoreBytes).
int ReadStoreFile(const std::filesystem::path& file, std::string& text) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = 0;
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            break;
        }
        if (n == 0) break;
        if (text.size() + size_t(n) > kMaxStoreBytes) {
            err = EFBIG;
            break;
        }
        text.append(buf, size_t(n));
    }
    ::close(fd);
    return err;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

void SyncFolder(const std::filesystem::path& dir) {
    int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

CRegStore::CRegStore() : root_(std::make_shared<CRegNode>("")) {}

CRegStore::SLoadResult CRegStore::Load(const std::filesystem::path& file) {
    std::lock_guard g(RegLock());
    file_ = file;
    saveRefused_ = false;
    root_ = std::make_shared<CRegNode>("");
    RemoveStaleTemps(file);

    SLoadResult result;
    std::string text, why;
    int err = ReadStoreFile(file, text);
    if (err == ENOENT) return result;  // Missing: a fresh home
    if (err == EFBIG) {
        why = "larger than " + std::to_string(kMaxStoreBytes >> 20) + " MiB";
    } else if (err != 0) {
        result.status = ELoadStatus::Unreadable;
        result.reason = std::strerror(err);
        saveRefused_ = true;
        return result;
    }

    auto tree = std::make_shared<CRegNode>("");
    if (why.empty() && IsWholeRegText(text, &why) && ParseRegText(text, *tree, &why)) {
        root_ = tree;
        result.status = ELoadStatus::Loaded;
        return result;
    }
    result.status = ELoadStatus::Damaged;
    result.reason = why;
    result.keptAs = KeepDamagedFileAside(file, &result.moveError);
    // A file that could not be moved is kept by refusing to write over it.
    if (result.keptAs.empty()) saveRefused_ = true;
    return result;
}

bool CRegStore::Save(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string text;
    std::filesystem::path file;
    {
        std::lock_guard g(RegLock());
        if (file_.empty()) return fail("no settings file");
        if (saveRefused_) return fail(file_.string() + " could not be read, so it is not written over");
        text = FormatRegText(*root_);
        file = file_;
    }
    std::filesystem::path dir = file.parent_path();
    std::string tmpl = (dir / TempPrefix(file)).string() + "XXXXXX";
    int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);  // mode 0600: the store holds passwords
    if (fd < 0) return fail("cannot create a file in " + dir.string() + ": " + std::strerror(errno));
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    int err = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmpl.c_str(), file.c_str()) == 0) {
        SyncFolder(dir);
        return true;
    }
    if (ok) err = errno;
    ::unlink(tmpl.c_str());
    return fail("cannot write " + file.string() + ": " + std::strerror(err));
}

CRegStore& GetRegStore() {
    static CRegStore store;
    return store;
}

}  // namespace plover
