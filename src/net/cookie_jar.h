#pragma once
// The cookies of one run: loaded from a cookies.txt file (given for the run, or the default file
// of the settings), sent with the requests they belong to, and changed by the Set-Cookie answers
// of servers; written back to a file only when asked to (atomically, so a crash never leaves half
// a file). The rules of what belongs where are cookie_rules.h.
//
// Bounded against hostile input: at most kMaxCookiesPerDomain cookies of one domain and
// kMaxCookies in all (the oldest go first), and a Cookie header of at most kMaxCookieHeader bytes
// (the cookies with the longest paths first, as browsers order them).
//
// Thread-safe: the download workers of every thread share the run's jar.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/cookie_rules.h"

namespace plover {

class CPublicSuffixList;

inline constexpr size_t kMaxCookies = 3000;
inline constexpr size_t kMaxCookiesPerDomain = 60;
inline constexpr size_t kMaxCookieHeader = 8192;
inline constexpr uint64_t kMaxCookieFileBytes = 64u << 20;

class CCookieJar {
public:
    explicit CCookieJar(const CPublicSuffixList& suffixes);
    // The list comes from `suffixes` when a cookie is first parsed: most runs never get one, and
    // reading the system's list costs milliseconds.
    explicit CCookieJar(const CPublicSuffixList& (*suffixes)());

    struct SLoadResult {
        int error = 0;      // errno of reading the file; 0 when it was read
        size_t loaded = 0;  // cookies taken
        size_t skipped = 0; // lines that were not comments and gave no cookie
    };
    // Adds the cookies of a cookies.txt file (expired ones are dropped; past kMaxCookies the
    // rest are counted as skipped).
    SLoadResult Load(const std::string& path, int64_t now);
    // Writes every cookie that lives past the run (session cookies end with it). False with the
    // reason in *error when the file cannot be replaced.
    bool Save(const std::string& path, int64_t now, std::string* error) const;

    // "a=1; b=2" for a request to `origin`, empty when no cookie goes with it.
    std::string HeaderFor(const SCookieOrigin& origin, int64_t now) const;
    // Takes a Set-Cookie answer of `origin`; false when it was refused.
    bool TakeSetCookie(std::string_view header, const SCookieOrigin& origin, int64_t now);
    // Adds or replaces (same name, domain and path) a cookie; an expired one deletes.
    void Store(const SCookie& cookie, int64_t now);

    size_t Size() const;
    void Clear();
    // The time used for expiry: seconds since 1970 of the system clock.
    static int64_t Now();

private:
    void EvictBeyondBounds(const std::string& domain);

    const CPublicSuffixList& Suffixes() const { return suffixes_ ? *suffixes_ : source_(); }

    const CPublicSuffixList* suffixes_ = nullptr;
    const CPublicSuffixList& (*source_)() = nullptr;
    mutable std::mutex lock_;
    std::vector<SCookie> cookies_;  // oldest first
};

// The run's jar, on the system's public suffix list.
CCookieJar& RunCookieJar();

}  // namespace plover
