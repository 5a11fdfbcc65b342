#include "web/instance_token.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/file_io.h"

namespace plover::web {
namespace {

bool IsToken(const std::string& s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// Writes the whole text to a new file that only the user can read, replacing any old one.
bool WritePrivate(const std::filesystem::path& file, const std::string& text) {
    return SaveFileAtomically(file.string(), text);
}

}  // namespace

std::string NewToken() {
    unsigned char bytes[32];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n <= 0) return "";
        got += size_t(n);
    }
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (unsigned char b : bytes) {
        s += hex[b >> 4];
        s += hex[b & 15];
    }
    return s;
}

std::string LoadOrCreateToken(const std::filesystem::path& folder) {
    std::filesystem::path file = folder / "ui-token";
    struct stat st{};
    // A token others could read is no secret: it is replaced.
    if (::stat(file.c_str(), &st) == 0 && (st.st_mode & 077) == 0) {
        std::ifstream in(file);
        std::string token;
        std::getline(in, token);
        if (IsToken(token)) return token;
    }
    std::string token = NewToken();
    if (token.empty() || !WritePrivate(file, token + "\n")) return "";
    return token;
}

bool WriteAddressFile(const std::filesystem::path& folder, const std::string& url) {
    return WritePrivate(folder / "ui-address", url + "\n");
}

void RemoveAddressFile(const std::filesystem::path& folder) { ::unlink((folder / "ui-address").c_str()); }

}  // namespace plover::web
