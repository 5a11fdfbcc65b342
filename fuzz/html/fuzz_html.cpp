// Feeds arbitrary bytes to the HTML parser, in up to three pieces, then does what the page
// scanner and the download record do with a page: title, refresh address, anchors and images with
// their links resolved, attributes, and a walk over the whole tree checking its links; then reads
// the whole input again with a parser reused from the previous input, as the scanner does, which
// must see what a new parser sees. Nothing may crash, leak or hang, whatever the nesting.
#include <cstdlib>
#include <string>
#include <vector>

#include "html/html_parser.h"
#include "html/url_resolve.h"

using namespace plover;

namespace {

void CheckTree(CHTMLParser& parser) {
    std::vector<CHTMLNode*> pending{&parser.GetRoot()};
    size_t seen = 0;
    while (!pending.empty()) {
        CHTMLNode* node = pending.back();
        pending.pop_back();
        size_t children = 0;
        for (CHTMLNode* child = node->GetFirstChild(); child; child = child->GetNextSibling()) {
            if (child->GetParent() != node) abort();
            pending.push_back(child);
            ++children;
        }
        if (children != node->GetChildCount()) abort();
        if (node != &parser.GetRoot()) ++seen;
    }
    if (seen != parser.GetNodeCount()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose where the input is cut.
    size_t cut1 = data[0] % (size - 1), cut2 = cut1 + data[1] % (size - 1 - cut1);
    const char* page = reinterpret_cast<const char*>(data + 2);
    size_t length = size - 2;
    cut1 = std::min(cut1, length);
    cut2 = std::min(cut2, length);
    CHTMLParser parser;
    parser.ParseBuffer(page, cut1);
    parser.ParseBuffer(page + cut1, cut2 - cut1);
    parser.ParseBuffer(page + cut2, length - cut2);

    parser.FindRefreshURL();
    std::string base = parser.GetRefreshURL().empty() ? "http://h:8080/g/index.html?x=1" : parser.GetRefreshURL();
    std::vector<CHTMLNode*> anchors, images;
    parser.CollectAnchors(anchors);
    parser.CollectImages(images);
    for (CHTMLNode* a : anchors) {
        if (!a->IsAnchor()) abort();
        a->ResolveHref(base);
        if (a->IsImageLink()) ResolveUrl(a->GetChild(0)->GetAttribute("src"), a->GetHref());
    }
    for (CHTMLNode* img : images) {
        if (!img->IsImage()) abort();
        ResolveUrl(img->GetAttribute("src"), base);
        img->GetAttributes();
        img->GetText();
    }
    (void)parser.GetTitle();
    CheckTree(parser);

    // The scanner's way: one parser, cleared between pages, reads each page as a new one does.
    static CHTMLParser reused;
    reused.Clear();
    reused.ParseBuffer(page, length);
    CHTMLParser fresh;
    fresh.ParseBuffer(page, length);
    if (reused.GetNodeCount() != fresh.GetNodeCount() || reused.GetTitle() != fresh.GetTitle()) abort();
    CheckTree(reused);
    return 0;
}
