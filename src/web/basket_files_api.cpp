// The files of a basket: listing a folder, renaming, deleting, new folders and the move job, each
// path checked against the basket's folder and each change followed by the download history.
//
// Paths go out and come back in the basket's own form (its folder as stored, then the names below
// it), which is the form downloads were recorded in; the checks resolve symbolic links, and a
// resolved path is turned back into that form before the history hears of it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <strings.h>

#include "baskets/basket.h"
#include "baskets/download_db.h"
#include "web/allowed_paths.h"
#include "web/basket_api.h"
#include "web/basket_service.h"
#include "web/picture_names.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxListed = 20000;
constexpr size_t kMaxItems = 10000;

// A basket's folder as stored and as resolved.
struct SBasketRoot {
    std::string stored, real;
    CBasket* basket = nullptr;
};

// Under the baskets lock. False (and the refusal) when there is no such basket or its folder is gone.
bool RootOf(int id, SBasketRoot& root, SApiAnswer& refused) {
    root.basket = GetBaskets().FindByID(id);
    if (!root.basket) {
        refused = ApiError(404, "There is no such basket.");
        return false;
    }
    root.stored = TrimFolder(root.basket->csRootFolder);
    root.real = RealFolder(root.stored);
    if (root.real.empty()) {
        refused = ApiError(409, "The basket's folder does not exist: " + root.stored);
        return false;
    }
    return true;
}

// A resolved path below the basket's resolved folder, in the basket's own form.
std::string StoredForm(const SBasketRoot& root, const std::string& resolved) {
    return root.stored + resolved.substr(root.real.size());
}

bool Resolve(const SBasketRoot& root, const std::string& path, EPathUse use, std::string& stored) {
    std::string resolved;
    if (!ResolveAllowed(path, {root.real}, use, resolved)) return false;
    stored = StoredForm(root, resolved);
    return true;
}

SApiAnswer NotAllowed(const std::string& path) {
    return ApiError(403, "Not a file or folder of this basket: " + ValidUtf8(path));
}

bool TextField(const nlohmann::json& body, const char* name, std::string& out) {
    if (!body.contains(name) || !body[name].is_string()) return false;
    out = body[name].get<std::string>();
    return true;
}

bool IsFolderEntry(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

nlohmann::json EntryJson(const std::string& folder, const std::string& name, const struct stat& st) {
    return {{"name", ValidUtf8(name)},
            {"path", ValidUtf8(folder == "/" ? "/" + name : folder + "/" + name)},
            {"size", uint64_t(st.st_size)},
            {"modified", int64_t(st.st_mtime)},
            {"picture", IsPictureName(name)}};
}

}  // namespace

SApiAnswer ListBasketFolder(CBasketService& service, int id, const std::string& path) {
    SBasketRoot root;
    SApiAnswer refused;
    std::string folder;
    {
        std::lock_guard g(service.BasketsLock());
        if (!RootOf(id, root, refused)) return refused;
    }
    if (!Resolve(root, path.empty() ? root.stored : path, EPathUse::ReadFolder, folder)) return NotAllowed(path);
    nlohmann::json folders = nlohmann::json::array(), files = nlohmann::json::array();
    std::error_code ec;
    size_t listed = 0;
    bool more = false;
    std::vector<std::pair<std::string, struct stat>> entries;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (++listed > kMaxListed) {
            more = true;
            break;
        }
        std::string name = it->path().filename().string();
        // A link is shown for what it points to, and only when that lies in the basket too.
        struct stat st;
        if (::stat(it->path().c_str(), &st) != 0) continue;
        std::error_code linkError;
        std::string ignored;
        if (it->is_symlink(linkError) &&
            !ResolveAllowed(it->path().string(), {root.real}, S_ISDIR(st.st_mode) ? EPathUse::ReadFolder : EPathUse::Read,
                            ignored))
            continue;
        if (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) entries.emplace_back(std::move(name), st);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return strcasecmp(a.first.c_str(), b.first.c_str()) < 0; });
    for (const auto& [name, st] : entries) (S_ISDIR(st.st_mode) ? folders : files).push_back(EntryJson(folder, name, st));
    return {200, {{"basket", id}, {"root", ValidUtf8(root.stored)}, {"path", ValidUtf8(folder)}, {"folders", folders},
                  {"files", files}, {"more", more}}};
}

namespace {

// The "path" and "name" fields of a rename or a new folder; the answer that refuses them, if any.
std::optional<SApiAnswer> PathAndPlainName(const nlohmann::json& body, std::string& path, std::string& name) {
    if (!TextField(body, "path", path) || !TextField(body, "name", name))
        return ApiError(400, "\"path\" and \"name\" must be texts.");
    if (!IsPlainName(name)) return ApiError(422, "A name cannot be empty, \".\" or \"..\", or hold \"/\".");
    return std::nullopt;
}

}  // namespace

SApiAnswer RenameInBasket(CBasketService& service, int id, const nlohmann::json& body) {
    std::string path, name;
    if (auto refused = PathAndPlainName(body, path, name)) return *refused;
    std::lock_guard g(service.BasketsLock());
    SBasketRoot root;
    SApiAnswer refused;
    if (!RootOf(id, root, refused)) return refused;
    bool isRoot = TrimFolder(path) == root.stored || RealFolder(path) == root.real;
    std::string from;
    if (isRoot) from = root.stored;
    else if (!Resolve(root, path, EPathUse::Change, from)) return NotAllowed(path);
    std::string to = fs::path(from).parent_path().string() + "/" + name;
    if (to == from) return {200, {{"path", ValidUtf8(to)}}};
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return ApiError(409, "A file or folder named \"" + ValidUtf8(name) + "\" exists already.");
    bool folder = IsFolderEntry(from);
    if (::rename(from.c_str(), to.c_str()) != 0)
        return ApiError(409, "Can't rename " + ValidUtf8(from) + ": " + std::strerror(errno));
    CDownloadDB& db = GetDownloadDB();
    if (folder) db.MoveUnder(from, to);
    else db.RenamePath(from, to);
    // The basket follows its own folder.
    if (isRoot) StoreBasketProperties(GetBaskets(), root.basket, root.basket->csName, to, root.basket->eDispatch, nullptr);
    service.PublishBaskets();
    return {200, {{"path", ValidUtf8(to)}, {"root", isRoot}}};
}

SApiAnswer RemoveFromBasket(CBasketService& service, int id, const nlohmann::json& body) {
    if (!body.contains("paths") || !body["paths"].is_array() || body["paths"].empty() || body["paths"].size() > kMaxItems)
        return ApiError(400, "\"paths\" must be a list of 1 to 10000 paths.");
    std::lock_guard g(service.BasketsLock());
    SBasketRoot root;
    SApiAnswer refused;
    if (!RootOf(id, root, refused)) return refused;
    std::vector<std::string> targets;
    for (const nlohmann::json& p : body["paths"]) {
        if (!p.is_string()) return ApiError(400, "Every path must be a text.");
        std::string path = p.get<std::string>(), stored;
        if (TrimFolder(path) == root.stored || RealFolder(path) == root.real)
            return ApiError(422, CheckFolderDeletable(*root.basket, root.basket->csRootFolder));
        if (!Resolve(root, path, EPathUse::Change, stored)) return NotAllowed(path);
        targets.push_back(stored);
    }
    std::vector<std::string> files, errors;
    int removed = 0;
    CDownloadDB& db = GetDownloadDB();
    for (const std::string& t : targets) {
        std::error_code ec;
        if (IsFolderEntry(t)) {
            fs::remove_all(t, ec);  // never follows a link inside
            // A folder only partly deleted keeps the entries of the files still there.
            db.ForgetUnder(t, bool(ec));
        } else if (::unlink(t.c_str()) == 0) {
            files.push_back(t);
        } else {
            ec.assign(errno, std::generic_category());
        }
        if (ec) errors.push_back(CantDeleteFileMessage(ValidUtf8(t)) + " " + ec.message());
        else ++removed;
    }
    if (!files.empty()) db.ForgetPaths(files);
    service.PublishBaskets();
    return {errors.empty() ? 200 : 207, {{"removed", removed}, {"errors", errors}}};
}

SApiAnswer NewBasketFolder(CBasketService& service, int id, const nlohmann::json& body) {
    std::string path, name, parent;
    if (auto refused = PathAndPlainName(body, path, name)) return *refused;
    std::lock_guard g(service.BasketsLock());
    SBasketRoot root;
    SApiAnswer refused;
    if (!RootOf(id, root, refused)) return refused;
    if (!Resolve(root, path, EPathUse::ReadFolder, parent)) return NotAllowed(path);
    std::string folder = parent + "/" + name;
    if (::mkdir(folder.c_str(), 0777) != 0)
        return errno == EEXIST ? ApiError(409, "A file or folder named \"" + ValidUtf8(name) + "\" exists already.")
                               : ApiError(409, CantCreateFolderMessage(ValidUtf8(folder)));
    service.PublishBaskets();
    return {200, {{"path", ValidUtf8(folder)}}};
}

SApiAnswer StartMove(CBasketService& service, const nlohmann::json& body) {
    std::string target;
    if (!body.contains("files") || !body["files"].is_array() || body["files"].empty() || body["files"].size() > kMaxItems ||
        !TextField(body, "folder", target))
        return ApiError(400, "\"files\" must be a list of 1 to 10000 paths and \"folder\" a text.");
    std::vector<std::string> files;
    std::string folder;
    {
        std::lock_guard g(service.BasketsLock());
        // Files of any basket may go into a folder of any basket.
        std::vector<SBasketRoot> roots;
        CBasketList& list = GetBaskets();
        for (int i = 0; i < list.GetSize(); ++i) {
            SBasketRoot r;
            SApiAnswer ignored;
            if (RootOf(list.GetAt(i)->dwID, r, ignored)) roots.push_back(r);
        }
        auto resolve = [&](const std::string& path, EPathUse use, std::string& out) {
            for (const SBasketRoot& r : roots)
                if (Resolve(r, path, use, out)) return true;
            return false;
        };
        if (!resolve(target, EPathUse::ReadFolder, folder)) return NotAllowed(target);
        bool anyFiles = body.contains("anyFiles") && body["anyFiles"].is_boolean() && body["anyFiles"].get<bool>();
        for (const nlohmann::json& f : body["files"]) {
            std::string stored;
            if (!f.is_string()) return ApiError(400, "Every path must be a text.");
            if (anyFiles) {
                // The command line's files, named by the user: the move job says what it cannot move.
                stored = f.get<std::string>();
                if (stored.empty() || stored[0] != '/' || stored.size() > 4096)
                    return ApiError(400, "Every path must be absolute.");
            } else if (!resolve(f.get<std::string>(), EPathUse::Change, stored) || IsFolderEntry(stored)) {
                return NotAllowed(f.get<std::string>());
            }
            files.push_back(stored);
        }
    }
    uint64_t job = 0;
    if (!service.Moves().Start(std::move(files), folder, job))
        return ApiError(409, "Another move is under way; try again when it has ended.");
    return {200, {{"job", job}}};
}

SApiAnswer MoveState(CBasketService& service) { return {200, {{"job", service.Moves().State()}}}; }

SApiAnswer AnswerMove(CBasketService& service, uint64_t job, const nlohmann::json& body) {
    std::string text;
    std::optional<EConflictAnswer> answer;
    if (TextField(body, "answer", text)) answer = ConflictAnswerOf(text);
    if (!answer) return ApiError(400, "\"answer\" must be \"Overwrite\", \"Overwrite All\", \"Skip\" or \"Skip All\".");
    if (!service.Moves().Answer(job, *answer)) return ApiError(409, "That move is not asking.");
    return {200, {{"job", job}}};
}

SApiAnswer CancelMove(CBasketService& service, uint64_t job) {
    if (!service.Moves().Cancel(job)) return ApiError(409, "That move is not running.");
    return {200, {{"job", job}}};
}

}  // namespace plover::web
