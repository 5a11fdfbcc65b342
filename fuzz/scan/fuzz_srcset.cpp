// Feeds arbitrary text to the srcset parser and, as the attributes of an img, to the gathering
// and choice of its candidates. Nothing may crash, no candidate may be empty or carry a broken
// value, the bound holds, and a choice is always one of the candidates.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "scan/srcset.h"

using namespace plover;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<SSrcCandidate> parsed = ParseSrcset(text);
    if (parsed.size() > kMaxSrcsetCandidates) abort();
    for (const SSrcCandidate& c : parsed) {
        if (c.url.empty() || !std::isfinite(c.value) || c.value <= 0) abort();
        if (c.url.find_first_of(" \t\n\r\f") != std::string::npos) abort();
    }
    // The same text as every attribute of an element: src, the lazy ones and the srcsets.
    std::vector<SSrcCandidate> candidates;
    AppendElementCandidates([&](std::string_view) { return text; }, candidates);
    if (candidates.size() > kMaxSrcsetCandidates) abort();
    int widest = ChooseWidestCandidate(candidates);
    int small = ChooseSmallCandidate(candidates);
    if (widest >= int(candidates.size()) || small >= int(candidates.size())) abort();
    if ((widest < 0) != (small < 0)) abort();  // both find a picture, or neither does
    IsPlaceholderPicture(text);
    return 0;
}
