#include "download/ftp_logins.h"

#include <strings.h>

#include <mutex>
#include <utility>
#include <vector>

namespace plover {
namespace {

std::mutex g_lock;
std::vector<std::pair<const void*, std::string>>& Entries() {
    static std::vector<std::pair<const void*, std::string>> entries;
    return entries;
}

}  // namespace

void FtpLoginEnter(const void* worker, const std::string& server) {
    std::lock_guard guard(g_lock);
    for (auto& e : Entries())
        if (e.first == worker) {
            e.second = server;
            return;
        }
    Entries().emplace_back(worker, server);
}

void FtpLoginLeave(const void* worker) {
    std::lock_guard guard(g_lock);
    auto& entries = Entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].first == worker) {
            entries.erase(entries.begin() + ptrdiff_t(i));
            return;
        }
}

bool FtpLoginOtherOn(const std::string& server, const void* except) {
    std::lock_guard guard(g_lock);
    for (auto& e : Entries())
        if (e.first != except && strcasecmp(e.second.c_str(), server.c_str()) == 0) return true;
    return false;
}

}  // namespace plover
