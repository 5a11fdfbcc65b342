#include "baskets/same_content.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include "net/openssl_library.h"

namespace plover {

namespace fs = std::filesystem;

std::optional<std::string> Sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const SOpenSslLibrary* o = OpenSslLibrary();
    if (!o) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, decltype(o->EVP_MD_CTX_free)> ctx(o->EVP_MD_CTX_new(), o->EVP_MD_CTX_free);
    if (!ctx || o->EVP_DigestInit_ex(ctx.get(), o->EVP_sha256(), nullptr) != 1) return std::nullopt;
    char block[64 * 1024];
    while (in) {
        in.read(block, sizeof block);
        if (in.gcount() > 0 && o->EVP_DigestUpdate(ctx.get(), block, size_t(in.gcount())) != 1) return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (o->EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string FindSameContent(const std::string& path) {
    std::error_code ec;
    fs::path file(path);
    uintmax_t size = fs::file_size(file, ec);
    if (ec) return {};
    std::optional<std::string> digest;  // read only once a file of the same size turns up
    for (fs::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e;
        if (!it->is_regular_file(e) || it->file_size(e) != size || e) continue;
        if (fs::equivalent(it->path(), file, e)) continue;
        if (!digest && !(digest = Sha256OfFile(path))) return {};
        if (Sha256OfFile(it->path().string()) == digest) return it->path().string();
    }
    return {};
}

CSameContentFinder::SFolder& CSameContentFinder::FolderOf(const std::string& folder, Clock::time_point now) {
    SFolder& f = folders_[folder];
    if (f.read != Clock::time_point() && now - f.read < kMaxAge) return f;
    f.read = now;
    f.bySize.clear();
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e;
        if (!it->is_regular_file(e)) continue;
        uintmax_t size = it->file_size(e);
        if (!e) f.bySize.emplace(size, it->path().filename().string());
    }
    return f;
}

std::string CSameContentFinder::Find(const std::string& path, Clock::time_point now) {
    std::error_code ec;
    fs::path file(path);
    uintmax_t size = fs::file_size(file, ec);
    if (ec) return {};
    std::string name = file.filename().string();
    SFolder& folder = FolderOf(file.parent_path().string(), now);
    std::optional<std::string> digest;
    bool listed = false;
    auto [first, last] = folder.bySize.equal_range(size);
    for (auto it = first; it != last; ++it) {
        if (it->second == name) {
            listed = true;
            continue;
        }
        fs::path other = file.parent_path() / it->second;
        std::error_code e;
        // The folder may have changed since it was read: only a file that is still there and
        // still of this size is read.
        if (!fs::is_regular_file(other, e) || fs::file_size(other, e) != size || e) continue;
        if (fs::equivalent(other, file, e)) continue;
        if (!digest && !(digest = Sha256OfFile(path))) return {};
        if (Sha256OfFile(other.string()) == digest) return other.string();
    }
    if (!listed) folder.bySize.emplace(size, name);
    return {};
}

}  // namespace plover
