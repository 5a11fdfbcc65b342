#include "scan/srcset.h"

#include <strings.h>

#include <charconv>
#include <cmath>

#include "scan/scan_rules.h"

namespace plover {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

// A valid non-negative integer ("300"), above zero.
bool ParseWidth(std::string_view digits, double& out) {
    if (digits.empty() || digits.size() > 9) return false;  // wider than any screen: broken
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value == 0) return false;
    out = value;
    return true;
}

// A floating-point number ("2", "1.5", "1e1"), finite and above zero.
bool ParseDensity(std::string_view number, double& out) {
    if (number.empty() || !((number[0] >= '0' && number[0] <= '9') || number[0] == '.')) return false;
    double value = 0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value) || value <= 0)
        return false;
    out = value;
    return true;
}

// Applies one candidate's descriptors; false when the candidate is to be dropped.
bool ApplyDescriptors(const std::vector<std::string_view>& descriptors, SSrcCandidate& candidate) {
    bool width = false, density = false, height = false;
    for (std::string_view d : descriptors) {
        char last = d.back();
        std::string_view number = d.substr(0, d.size() - 1);
        if (last == 'w' && !width && !density && ParseWidth(number, candidate.value)) {
            width = true;
            candidate.kind = ESrcDescriptor::Width;
        } else if (last == 'x' && !width && !density && !height && ParseDensity(number, candidate.value)) {
            density = true;
            candidate.kind = ESrcDescriptor::Density;
        } else if (last == 'h' && !height && !density) {
            double ignored;
            if (!ParseWidth(number, ignored)) return false;
            height = true;
        } else {
            return false;
        }
    }
    return !height || width;
}

// The descriptors after an address, up to the comma that ends the candidate (commas inside
// parentheses do not). `pos` is left after that comma.
std::vector<std::string_view> ReadDescriptors(std::string_view text, size_t& pos) {
    std::vector<std::string_view> out;
    size_t start = std::string_view::npos;
    int depth = 0;
    auto flush = [&](size_t end) {
        if (start != std::string_view::npos && end > start) out.push_back(text.substr(start, end - start));
        start = std::string_view::npos;
    };
    for (; pos < text.size(); ++pos) {
        char c = text[pos];
        if (depth > 0) {
            if (c == ')') --depth;
            continue;
        }
        if (c == ',') {
            flush(pos);
            ++pos;
            return out;
        }
        if (IsSpace(c)) {
            flush(pos);
            continue;
        }
        if (start == std::string_view::npos) start = pos;
        if (c == '(') ++depth;
    }
    flush(pos);
    return out;
}

}  // namespace

std::vector<SSrcCandidate> ParseSrcset(std::string_view text) {
    std::vector<SSrcCandidate> out;
    size_t pos = 0;
    while (out.size() < kMaxSrcsetCandidates) {
        while (pos < text.size() && (IsSpace(text[pos]) || text[pos] == ',')) ++pos;
        if (pos >= text.size()) break;
        size_t start = pos;
        while (pos < text.size() && !IsSpace(text[pos])) ++pos;
        std::string_view url = text.substr(start, pos - start);
        SSrcCandidate candidate;
        bool valid = true;
        if (url.back() == ',') {
            // "a.jpg, b.jpg": the comma ends the candidate, which has no descriptors.
            while (!url.empty() && url.back() == ',') url.remove_suffix(1);
        } else {
            valid = ApplyDescriptors(ReadDescriptors(text, pos), candidate);
        }
        if (!valid || url.empty()) continue;
        candidate.url = std::string(url);
        out.push_back(std::move(candidate));
    }
    return out;
}

bool IsPlaceholderPicture(std::string_view url) {
    size_t start = url.find_first_not_of(" \t");
    if (start == std::string_view::npos) return true;
    url = url.substr(start);
    for (std::string_view scheme : {"data:", "about:", "javascript:"})
        if (StartsNoCase(url, scheme)) return true;
    static constexpr std::string_view kSpacers[] = {"blank.gif", "spacer.gif", "pixel.gif", "1x1.gif", "lazy.gif",
                                                    "placeholder.gif", "transparent.gif", "loading.gif", "grey.gif"};
    std::string name = UrlFilePart(url);
    for (std::string_view spacer : kSpacers)
        if (name.size() == spacer.size() && strncasecmp(name.data(), spacer.data(), spacer.size()) == 0) return true;
    return false;
}

const std::vector<std::string_view>& LazySourceAttributes() {
    static const std::vector<std::string_view> kNames = {"data-src",  "data-original", "data-lazy-src", "data-lazy",
                                                         "lazy-src",  "data-echo",     "data-url",      "data-hi-res",
                                                         "data-full", "data-large"};
    return kNames;
}

const std::vector<std::string_view>& SrcsetAttributes() {
    static const std::vector<std::string_view> kNames = {"srcset", "data-srcset", "data-lazy-srcset"};
    return kNames;
}

void AppendElementCandidates(const std::function<std::string_view(std::string_view)>& attribute,
                             std::vector<SSrcCandidate>& out) {
    size_t limit = out.size() + kMaxSrcsetCandidates;
    auto add = [&](std::string_view url, ESrcOrigin origin) {
        if (out.size() >= limit || url.empty() || IsPlaceholderPicture(url)) return;
        SSrcCandidate c;
        c.url = std::string(url);
        c.origin = origin;
        out.push_back(std::move(c));
    };
    for (std::string_view name : LazySourceAttributes()) add(attribute(name), ESrcOrigin::Lazy);
    add(attribute("src"), ESrcOrigin::Src);
    for (std::string_view name : SrcsetAttributes()) {
        for (SSrcCandidate& c : ParseSrcset(attribute(name))) {
            if (out.size() >= limit) return;
            if (IsPlaceholderPicture(c.url)) continue;
            c.origin = ESrcOrigin::Srcset;
            out.push_back(std::move(c));
        }
    }
}

namespace {

// The best candidate that passes the picture test by `better` of two values; widths outrank
// densities (an address without a descriptor has the value 1, that is 1x).
template <class Better>
int ChooseByValue(const std::vector<SSrcCandidate>& candidates, Better better) {
    bool anyWidth = false;
    for (const SSrcCandidate& c : candidates)
        if (c.kind == ESrcDescriptor::Width && IsPictureUrl(c.url)) anyWidth = true;
    int best = -1;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const SSrcCandidate& c = candidates[i];
        if (!IsPictureUrl(c.url) || (anyWidth && c.kind != ESrcDescriptor::Width)) continue;
        if (best < 0 || better(c.value, candidates[size_t(best)].value)) best = int(i);
    }
    return best;
}

}  // namespace

int ChooseWidestCandidate(const std::vector<SSrcCandidate>& candidates) {
    return ChooseByValue(candidates, [](double a, double b) { return a > b; });
}

int ChooseSmallCandidate(const std::vector<SSrcCandidate>& candidates) {
    for (ESrcOrigin origin : {ESrcOrigin::Lazy, ESrcOrigin::Src})
        for (size_t i = 0; i < candidates.size(); ++i)
            if (candidates[i].origin == origin && IsPictureUrl(candidates[i].url)) return int(i);
    return ChooseByValue(candidates, [](double a, double b) { return a < b; });
}

}  // namespace plover
