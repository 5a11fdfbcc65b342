#pragma once
// The default baskets of an installation: "Animals", "Art", "Cars", "Nature", "Erotic", "Space",
// in this order, each with the icon file named after it (".ico" in the program folder) and the
// root folder parent/name. They are made only when no basket exists yet; each folder is created
// when missing ("Can't create folder\n<folder>" and that basket is skipped when that fails).
// The parent folder becomes the default download folder ("csDefDownloadFolder") in any case.
//
// The proposed parent is the user's documents folder followed by "Plover Baskets": the XDG
// documents folder (XDG_DOCUMENTS_DIR of user-dirs.dirs, else ~/Documents), or, when Plover
// keeps everything in one home (--home, PLOVER_HOME), that home.
#include <functional>
#include <string>
#include <vector>

#include "baskets/basket.h"

namespace plover {

inline constexpr const char* kDefaultBasketNames[] = {"Animals", "Art", "Cars", "Nature", "Erotic", "Space"};
inline constexpr const char* kBasketsFolderName = "Plover Baskets";

using EnvFn = std::function<const char*(const char*)>;

// The user's documents folder by the XDG rules (env: getenv by default).
std::string XdgDocumentsFolder(const EnvFn& env = nullptr);

struct SDefaultBaskets {
    bool created = false;               // false: baskets existed already, nothing was made
    std::vector<std::string> made;      // names of the baskets made
    std::vector<std::string> messages;  // what was shown (folders that could not be created)
};

// Makes the default baskets in `list` under `parent` (only when the list is empty), with icons
// from `iconFolder`, and sets csDefDownloadFolder to parent. `checked` picks entries by name
// (all when empty). Messages are shown (ShowMessage) and returned. The caller saves the list.
SDefaultBaskets MakeDefaultBaskets(CBasketList& list, const std::string& parent, const std::string& iconFolder,
                                   const std::vector<std::string>& checked = {});

}  // namespace plover
