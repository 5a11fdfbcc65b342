#pragma once
// Public suffixes ("com", "co.uk", "github.io"): names under which anyone can register a domain,
// so that a cookie set for one of them would reach every site below it. The list is Debian's
// `publicsuffix` package (/usr/share/publicsuffix/public_suffix_list.dat), read once when first
// asked. Its rules: "co.uk" names a suffix, "*.ck" makes every name one label below "ck" a
// suffix, "!www.ck" excepts a name from a wildcard; "//" begins a comment. A single label ("com",
// "localhost") is always a suffix, list or not, so a missing list still keeps cookies from
// top-level domains.
#include <string>
#include <string_view>
#include <unordered_set>

namespace plover {

inline constexpr const char* kPublicSuffixListPath = "/usr/share/publicsuffix/public_suffix_list.dat";

class CPublicSuffixList {
public:
    // Reads the rules of the list's text (replacing none: rules add up).
    void Parse(std::string_view text);
    // Whether `domain` (lower-case, without a trailing dot) is itself a public suffix.
    bool IsPublicSuffix(std::string_view domain) const;
    size_t RuleCount() const { return exact_.size() + wildcards_.size() + exceptions_.size(); }

private:
    std::unordered_set<std::string> exact_, wildcards_, exceptions_;
};

// The system's list (read from kPublicSuffixListPath on first use; empty when it cannot be read).
const CPublicSuffixList& SystemPublicSuffixes();

}  // namespace plover
