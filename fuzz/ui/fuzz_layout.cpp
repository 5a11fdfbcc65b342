// Feeds arbitrary bytes to the frame layout parser, with panes 1 to 9 present. Nothing may crash
// or hang; the parse stops inside the text, every placed pane is one that exists and (unless the
// parse stopped inside it, before its placement was finished) sits in its frame's list of windows,
// every status bar carries "bottom" first, and the tree turns into JSON.
#include <cstdlib>
#include <string>

#include "ui/layout_json.h"
#include "ui/layout_parser.h"

using namespace plover::ui;

namespace {

void Check(const SxfElement& e, const std::set<int>& panes, bool aborted) {
    if (e.kind == EElementKind::StatusBar && (e.params.empty() || e.params[0].name != "bottom")) abort();
    for (const auto& child : e.children) {
        if (child->parent != &e) abort();
        if (child->kind == EElementKind::Pane) {
            if (!panes.count(child->paneId)) abort();
            bool listed = false;
            for (const SxfWindowEntry& w : e.windows) listed = listed || (w.paneId == child->paneId && w.title == "Untitled");
            if (!listed && !aborted) abort();
        }
        Check(*child, panes, aborted);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const std::set<int> panes = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    SxfElement root(EElementKind::Root);
    SLayoutResult r = BuildLayout(root, text, panes);
    if (r.stoppedAt > text.size()) abort();
    Check(root, panes, r.aborted);
    if (root.activePane != -1 && !panes.count(root.activePane)) abort();
    (void)ElementJson(root).dump();
    return 0;
}
