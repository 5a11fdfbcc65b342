#include "net/public_suffix.h"

#include "platform/file_io.h"

namespace plover {

namespace {

// The list is about 250 KB; anything far beyond that is not the list.
constexpr uint64_t kMaxListBytes = 16u << 20;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

}  // namespace

void CPublicSuffixList::Parse(std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        // A rule is the line's first word; comments and blank lines have none.
        size_t stop = line.find_first_of(" \t\r");
        if (stop != std::string_view::npos) line = line.substr(0, stop);
        if (line.empty() || line.substr(0, 2) == "//") continue;
        if (line[0] == '!') {
            exceptions_.insert(Lower(line.substr(1)));
        } else if (line.substr(0, 2) == "*.") {
            wildcards_.insert(Lower(line.substr(2)));
        } else {
            exact_.insert(Lower(line));
        }
    }
}

bool CPublicSuffixList::IsPublicSuffix(std::string_view domain) const {
    if (domain.empty()) return true;
    std::string name = Lower(domain);
    if (exceptions_.count(name)) return false;
    if (exact_.count(name)) return true;
    size_t dot = name.find('.');
    if (dot == std::string::npos) return true;  // the default rule: every top-level label
    return wildcards_.count(name.substr(dot + 1)) != 0;
}

const CPublicSuffixList& SystemPublicSuffixes() {
    static const CPublicSuffixList list = [] {
        CPublicSuffixList l;
        std::string text;
        if (ReadWholeFile(kPublicSuffixListPath, &text, kMaxListBytes) == 0) l.Parse(text);
        return l;
    }();
    return list;
}

}  // namespace plover
