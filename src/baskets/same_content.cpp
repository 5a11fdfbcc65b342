#include "baskets/same_content.h"

#include <openssl/evp.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace plover {

namespace fs = std::filesystem;

std::optional<std::string> Sha256OfFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
    char block[64 * 1024];
    while (in) {
        in.read(block, sizeof block);
        if (in.gcount() > 0 && EVP_DigestUpdate(ctx.get(), block, size_t(in.gcount())) != 1) return std::nullopt;
    }
    if (in.bad()) return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1) return std::nullopt;
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

}  // namespace plover
