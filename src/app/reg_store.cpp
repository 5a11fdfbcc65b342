#include "app/reg_store.h"
#include "platform/file_io.h"

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

}  // namespace

CRegStore::CRegStore() : root_(std::make_shared<CRegNode>("")) {}

CRegStore::SLoadResult CRegStore::Load(const std::filesystem::path& file, bool readOnly) {
    std::lock_guard g(RegLock());
    file_ = file;
    saveRefused_ = readOnly;
    onDisk_.clear();
    root_ = std::make_shared<CRegNode>("");
    if (!readOnly) RemoveStaleTemps(file);

    SLoadResult result;
    std::string text, why;
    int err = ReadWholeFile(file.string(), &text, kMaxStoreBytes);
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
        onDisk_ = std::move(text);
        result.status = ELoadStatus::Loaded;
        return result;
    }
    result.status = ELoadStatus::Damaged;
    result.reason = why;
    if (readOnly) return result;
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
        // Unchanged: no write (and no wait for the disk) at the end of every run.
        std::error_code ec;
        if (text == onDisk_ && std::filesystem::is_regular_file(file, ec)) return true;
    }
    // Mode 0600: the store holds passwords.
    std::string why;
    if (!SaveFileAtomically(file.string(), text, {}, &why)) return fail(why);
    std::lock_guard g(RegLock());
    if (file == file_) onDisk_ = std::move(text);
    return true;
}

CRegStore& GetRegStore() {
    static CRegStore store;
    return store;
}

}  // namespace plover
