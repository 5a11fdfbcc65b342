#pragma once
// File categories: a name, a target folder and a list of extensions (separated by "," or " ",
// without dots). One process-wide array in index order; a download's category index points into
// it or is -1. The array starts empty and nothing installs categories by itself; the five
// default categories are data that a front end may install. The two rules that consult the
// array are pure functions so they can be tested as tables.
#include <string>
#include <vector>

namespace plover {

struct SCategoryProp {
    std::string name;
    std::string folder;
    std::string extensions;  // "pdf,doc,txt"
};

struct SDefaultCategory {
    const char* name;
    const char* extensions;
    const char* icon;
};
// "Documents", "Software", "Pictures", "Movies", "Music": available, never installed by default.
extern const SDefaultCategory kDefaultCategories[5];

// The process-wide array (unguarded: changed only by the front end while nothing downloads).
int GetCategoryCount();
const SCategoryProp* GetCategory(int index);  // null when out of range
void AddCategory(const SCategoryProp& category);
void ClearCategories();
const std::vector<SCategoryProp>& GetCategories();

// A download's category: the extension of fileName (after its last ".", lower-cased) found as a
// substring of a category's extension list; else the first category whose folder equals
// localFolder (case-insensitively); else -1.
int CategoryIndexFor(const std::vector<SCategoryProp>& categories, const std::string& fileName,
                     const std::string& localFolder);

// The folder for an address with this extension: the first category whose extension list holds
// it as a whole item (case-insensitively); null when none does.
const SCategoryProp* CategoryForExtension(const std::vector<SCategoryProp>& categories,
                                          const std::string& extension);

}  // namespace plover
