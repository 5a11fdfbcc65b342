#include "baskets/default_baskets.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/message.h"
#include "app/settings.h"

namespace plover {
namespace fs = std::filesystem;
namespace {

// The value of XDG_DOCUMENTS_DIR in a user-dirs.dirs file: "$HOME/Documents" or an absolute path.
std::string ReadUserDirs(const fs::path& file, const std::string& home) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 18, "XDG_DOCUMENTS_DIR=") != 0) continue;
        std::string value = line.substr(start + 18);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (!value.empty() && value.front() == '/') return value;
    }
    return {};
}

}  // namespace

std::string XdgDocumentsFolder(const EnvFn& envFn) {
    EnvFn env = envFn ? envFn : [](const char* n) { return static_cast<const char*>(std::getenv(n)); };
    auto get = [&](const char* n) {
        const char* v = env(n);
        return std::string(v ? v : "");
    };
    std::string home = get("HOME");
    std::string docs = get("XDG_DOCUMENTS_DIR");
    if (!docs.empty() && docs.front() == '/') return docs;
    std::string config = get("XDG_CONFIG_HOME");
    if (config.empty() && !home.empty()) config = home + "/.config";
    if (!config.empty()) {
        std::string fromFile = ReadUserDirs(fs::path(config) / "user-dirs.dirs", home);
        if (!fromFile.empty()) return fromFile;
    }
    return home.empty() ? std::string() : home + "/Documents";
}

SDefaultBaskets MakeDefaultBaskets(CBasketList& list, const std::string& parent, const std::string& iconFolder,
                                   const std::vector<std::string>& checked) {
    SDefaultBaskets result;
    GetSettings().csDefDownloadFolder = parent;
    if (list.GetSize() > 0) return result;
    result.created = true;
    for (const char* name : kDefaultBasketNames) {
        if (!checked.empty() && std::find(checked.begin(), checked.end(), name) == checked.end()) continue;
        std::string folder = (fs::path(parent) / name).string();
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) fs::create_directories(folder, ec);
        if (!fs::is_directory(folder, ec)) {
            std::string message = CantCreateFolderMessage(folder);
            ShowMessage(message);
            result.messages.push_back(message);
            continue;
        }
        auto* b = new CBasket;
        b->csName = name;
        b->csRootFolder = folder;
        b->icon.csFile = (fs::path(iconFolder) / (std::string(name) + ".ico")).string();
        b->icon.iIndex = 0;
        list.Add(b);
        result.made.push_back(name);
    }
    return result;
}

}  // namespace plover
