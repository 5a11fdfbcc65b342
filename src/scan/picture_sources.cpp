#include "scan/picture_sources.h"

#include <strings.h>

namespace plover {

namespace {

// How far up from an img a <picture> is looked for, and how many nodes of a <picture> are
// visited for its sources: generous for real pages, small against nesting that never ends.
constexpr int kMaxPictureDepth = 32;
constexpr int kMaxPictureNodes = 128;

bool Named(const CHTMLNode* node, std::string_view name) { return node && node->GetName() == name; }

void AppendCandidates(const CHTMLNode* node, std::vector<SSrcCandidate>& out) {
    std::vector<std::string_view> attributes = node->GetAttributes();
    AppendElementCandidates([&](std::string_view name) { return ExactAttribute(attributes, name); }, out);
}

// The first img below a <picture> in document order, visiting at most kMaxPictureNodes nodes;
// `sources` (when given) receives the <source> elements met before it.
CHTMLNode* WalkPicture(CHTMLNode* picture, std::vector<CHTMLNode*>* sources) {
    int visited = 0;
    for (CHTMLNode* node = picture->GetFirstChild(); node && visited < kMaxPictureNodes; ++visited) {
        if (node->IsImage()) return node;
        if (sources && Named(node, "source")) sources->push_back(node);
        if (node->GetFirstChild()) {
            node = node->GetFirstChild();
            continue;
        }
        // Next in document order without leaving the picture.
        while (node != picture && !node->GetNextSibling()) node = node->GetParent();
        if (node == picture) break;
        node = node->GetNextSibling();
    }
    return nullptr;
}

}  // namespace

std::string_view ExactAttribute(const std::vector<std::string_view>& attributes, std::string_view name) {
    for (std::string_view a : attributes) {
        // The first letter first: an element is asked for a dozen names it mostly lacks.
        if (a.size() < name.size() || (!name.empty() && (a[0] | 0x20) != (name[0] | 0x20)) ||
            strncasecmp(a.data(), name.data(), name.size()) != 0)
            continue;
        if (a.size() == name.size()) return {};
        if (a[name.size()] != '=') continue;
        std::string_view value = a.substr(name.size() + 1);
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

CHTMLNode* AnchorImage(CHTMLNode* anchor, bool pictures) {
    CHTMLNode* first = anchor ? anchor->GetFirstChild() : nullptr;
    if (!first) return nullptr;
    if (first->IsImage()) return first;
    if (pictures && Named(first, "picture")) return WalkPicture(first, nullptr);
    return nullptr;
}

std::vector<SSrcCandidate> ImageCandidates(CHTMLNode* image) {
    std::vector<SSrcCandidate> out;
    CHTMLNode* picture = image->GetParent();
    for (int up = 0; picture && up < kMaxPictureDepth && !Named(picture, "picture"); ++up) {
        if (picture->IsAnchor() || picture->IsImage()) {
            picture = nullptr;  // an img never lies in a picture beyond its link or another img
            break;
        }
        picture = picture->GetParent();
    }
    if (Named(picture, "picture")) {
        std::vector<CHTMLNode*> sources;
        if (WalkPicture(picture, &sources) == image)
            for (CHTMLNode* source : sources) AppendCandidates(source, out);
    }
    AppendCandidates(image, out);
    return out;
}

}  // namespace plover
