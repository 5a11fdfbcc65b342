#include "download/categories.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

namespace plover {

const SDefaultCategory kDefaultCategories[5] = {
    {"Documents", "pdf,doc,txt", "DefConfigDoc.ico"},
    {"Software", "exe,com", "DefConfigSoft.ico"},
    {"Pictures", "gif,jpg,jpeg,bmp,rle,png,tiff,tif", "DefConfigPicture.ico"},
    {"Movies", "mpeg,mpg,mpe,mpa,avi,asf,wmv", "DefConfigVideo.ico"},
    {"Music", "mp3,wav,wma,vqf,ogg", "DefConfigAudio.ico"},
};

namespace {

std::vector<SCategoryProp>& Categories() {
    static std::vector<SCategoryProp> categories;
    return categories;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool IsItemSeparator(char c) { return c == ',' || c == ' '; }

// Whether `list` holds `item` bounded by the list's ends, "," or " " (case-insensitive).
bool ListHoldsItem(const std::string& list, const std::string& item) {
    if (item.empty()) return false;
    std::string l = Lower(list), it = Lower(item);
    for (size_t at = l.find(it); at != std::string::npos; at = l.find(it, at + 1)) {
        bool startOk = at == 0 || IsItemSeparator(l[at - 1]);
        size_t end = at + it.size();
        bool endOk = end == l.size() || IsItemSeparator(l[end]);
        if (startOk && endOk) return true;
    }
    return false;
}

}  // namespace

int GetCategoryCount() { return int(Categories().size()); }

const SCategoryProp* GetCategory(int index) {
    if (index < 0 || index >= GetCategoryCount()) return nullptr;
    return &Categories()[size_t(index)];
}

void AddCategory(const SCategoryProp& category) { Categories().push_back(category); }
void ClearCategories() { Categories().clear(); }
const std::vector<SCategoryProp>& GetCategories() { return Categories(); }

int CategoryIndexFor(const std::vector<SCategoryProp>& categories, const std::string& fileName,
                     const std::string& localFolder) {
    size_t dot = fileName.rfind('.');
    if (dot != std::string::npos) {
        std::string ext = Lower(fileName.substr(dot + 1));
        // A substring test, as the categories have always been matched: "jpeg" also finds "jpe".
        if (!ext.empty())
            for (size_t i = 0; i < categories.size(); ++i)
                if (Lower(categories[i].extensions).find(ext) != std::string::npos) return int(i);
    }
    for (size_t i = 0; i < categories.size(); ++i)
        if (strcasecmp(categories[i].folder.c_str(), localFolder.c_str()) == 0) return int(i);
    return -1;
}

const SCategoryProp* CategoryForExtension(const std::vector<SCategoryProp>& categories,
                                          const std::string& extension) {
    for (const SCategoryProp& c : categories)
        if (ListHoldsItem(c.extensions, extension)) return &c;
    return nullptr;
}

}  // namespace plover
