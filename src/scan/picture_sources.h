#pragma once
// Where the scanner finds the picture addresses of a page's elements when it reads responsive
// and lazy pictures (the rules themselves are in srcset.h): attributes read by their exact name
// (the node's own lookup takes "src" for "srcset"), the img of an image link, which may sit inside
// a <picture>, and the <source> elements of the <picture> around an img.
//
// The parser never closes void elements, so "<picture><source><source><img></picture>" nests the
// sources and the img inside each other, and everything after a stray <picture> may lie inside
// it: every walk here is bounded and stops at the img.
#include <string_view>
#include <vector>

#include "html/html_node.h"
#include "scan/srcset.h"

namespace plover {

// The value of the attribute named exactly `name` (ignoring case), quotes removed; empty when
// the node has none.
std::string_view ExactAttribute(const std::vector<std::string_view>& attributes, std::string_view name);

// The img of an image link: the anchor's first child when it is an img; when `pictures` is set,
// also the img inside a <picture> that is the anchor's first child. Null for other anchors.
CHTMLNode* AnchorImage(CHTMLNode* anchor, bool pictures);

// Every candidate of an img, unresolved: those of the <source> elements of the <picture> around
// it, in document order, then its own.
std::vector<SSrcCandidate> ImageCandidates(CHTMLNode* image);

}  // namespace plover
