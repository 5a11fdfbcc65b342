#pragma once
// Responsive and lazy-loading pictures as pure rules. Today's pages rarely put the picture a
// person sees into `src`: a lazy loader keeps a placeholder there (a data: address, a 1x1 GIF)
// and the real address in `data-src` or a sibling attribute, and responsive pages offer several
// sizes of one picture in `srcset` (on the img and on the `<source>` elements of a `<picture>`).
//
// An element's candidates are gathered in this order: the lazy attributes (what a lazy loader
// puts into src), then src unless it is a placeholder, then every candidate of the srcset
// attributes. From those the scanner takes
//  - for a large picture the widest candidate: the largest `w` when any candidate has one, else
//    the largest density (`x`; an address without a descriptor counts as 1x); the first wins a tie;
//  - for the small picture of a thumbnail the real one: the first lazy address, else src, else the
//    smallest srcset candidate.
// Only candidates that pass the picture test count. Everything is bounded: a srcset yields at most
// kMaxSrcsetCandidates candidates, however long it is.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

constexpr size_t kMaxSrcsetCandidates = 64;

enum class ESrcDescriptor { None, Width, Density };
// Where a candidate came from; the small picture prefers them in this order.
enum class ESrcOrigin { Lazy, Src, Srcset };

struct SSrcCandidate {
    std::string url;  // as written, or resolved once the scanner has resolved it
    ESrcDescriptor kind = ESrcDescriptor::None;
    double value = 1;  // the width in pixels or the density
    ESrcOrigin origin = ESrcOrigin::Srcset;
    bool operator==(const SSrcCandidate&) const = default;
};

// The candidates of a srcset value: "a.jpg 300w, b.jpg 600w" or "a.jpg, b.jpg 2x". An address may
// hold commas (only trailing ones end it); a descriptor list may hold parentheses. A candidate
// whose descriptors are broken, unknown or contradictory ("300", "2y", "1x 2x", "300w 2x") is
// dropped; a height descriptor only comes with a width and is ignored.
std::vector<SSrcCandidate> ParseSrcset(std::string_view text);

// An address that only stands in for a picture still to come: empty, data:, about:, javascript:,
// or a GIF named as a spacer ("blank.gif", "spacer.gif", "pixel.gif", "1x1.gif", "lazy.gif",
// "placeholder.gif", "transparent.gif", "loading.gif", "grey.gif").
bool IsPlaceholderPicture(std::string_view url);

// The attribute names read for lazy addresses and for candidate lists, in the order they count.
const std::vector<std::string_view>& LazySourceAttributes();
const std::vector<std::string_view>& SrcsetAttributes();

// Appends the candidates of one element (an img or a source) to `out`, reading its attributes by
// exact name through `attribute` (empty when absent): the lazy addresses, src, then the srcsets.
// At most kMaxSrcsetCandidates are appended for one element.
void AppendElementCandidates(const std::function<std::string_view(std::string_view)>& attribute,
                             std::vector<SSrcCandidate>& out);

// The index of the widest candidate that passes the picture test, or -1.
int ChooseWidestCandidate(const std::vector<SSrcCandidate>& candidates);
// The index of the small picture of a thumbnail (see above), or -1.
int ChooseSmallCandidate(const std::vector<SSrcCandidate>& candidates);

}  // namespace plover
