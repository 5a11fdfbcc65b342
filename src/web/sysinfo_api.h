#pragma once
// The system information report: what a user quotes when something goes wrong. The version and
// build, the libraries and their versions, the home's folders and their free space, the settings
// file, the sizes of the download list, the history and the page cache, the engines and whether
// they run, open sockets and the traffic.
//
//   GET /api/sysinfo   {"sections": [{"title", "rows": [[label, value]]}], "text": the report as text}
#include <filesystem>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

struct SSystemInfoSource {
    std::string version;
    std::filesystem::path settingsDir, dataDir, storeFile;
    std::function<int()> downloadCount;          // the download list's length
    std::function<nlohmann::json()> traffic;     // {"speed","active","count","mode"}
};

SApiAnswer SystemInfo(const SSystemInfoSource& source);

// "12.3 GiB"
std::string ByteText(uint64_t bytes);

}  // namespace plover::web
