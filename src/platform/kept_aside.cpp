#include "platform/kept_aside.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plover {

std::filesystem::path KeptAsideName(const std::filesystem::path& file, std::time_t when, int number) {
    char stamp[32];
    std::tm tm{};
    localtime_r(&when, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string name = file.string() + ".damaged-" + stamp;
    if (number > 1) name += "-" + std::to_string(number);
    return name;
}

std::filesystem::path KeepDamagedFileAside(const std::filesystem::path& file, std::string* error) {
    std::time_t now = std::time(nullptr);
    for (int n = 1; n < 1000; ++n) {
        std::filesystem::path aside = KeptAsideName(file, now, n);
        // A hard link never replaces an existing name, so two runs (or two files kept in the same
        // second) cannot take the same one; the old name goes only once the new one holds it.
        if (::link(file.c_str(), aside.c_str()) == 0) {
            if (::unlink(file.c_str()) == 0) return aside;
            int err = errno;
            ::unlink(aside.c_str());
            if (error) *error = std::strerror(err);
            return {};
        }
        if (errno == EEXIST) continue;
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV) {
            if (error) *error = std::strerror(errno);
            return {};
        }
        // A file system without hard links: a rename, after making sure that the name is free.
        std::error_code ec;
        if (std::filesystem::exists(aside, ec)) continue;
        std::filesystem::rename(file, aside, ec);
        if (!ec) return aside;
        if (error) *error = ec.message();
        return {};
    }
    if (error) *error = "no free name beside it";
    return {};
}

std::string KeptAsideWarning(const std::string& what, const std::filesystem::path& file, const std::string& reason,
                             const std::filesystem::path& keptAs, const std::string& moveError,
                             const std::string& then) {
    std::string text = "warning: the " + what + " " + file.string() + " is damaged (" + reason + "); ";
    text += keptAs.empty() ? "it could not be moved aside (" + moveError + ")" : "it was kept as " + keptAs.string();
    return text + " and " + then + ".";
}

}  // namespace plover
