#include "ui/layouts.h"

#include "ui/layout_parser.h"
#include "ui/toolbar_defs.h"

namespace plover::ui {
namespace {

// Each written in pieces; the parentheses keep the pieces one element.
// The main window: menus and main toolbar, the left band of panes, the document area, status bar.
const char* const kMainWindowLayout =
    ("R(ver,main=%i){T(menuBk,top,tb=%i,nogripper)T(top,tb=%i,nogripper)F(hor,width=350){M(mdiID=%i){T(menuBk,"
     "top,tb=%i,nogripper)F(height=250){P(id=%i,active)}}M{T(menuBk,top,tb=%i,nogripper)F{T(top,tb=%i,nogripper)"
     "P(id=%i,active)}F{T(top,tb=%i,nogripper)P(id=%i,active)}}}M(mdiID=%i,PrimaryMDI){T(menuBk,top,tb=%i,"
     "nogripper)}S(tb=%i)}");
// A single pane (the protocol log, the system information).
const char* const kSinglePaneLayout = "R{P(id=%i,active)}";
// Two toolbars, one pane and a status bar (the image viewer).
const char* const kViewerLayout = "R{T(menuBk,top,tb=%i,nogripper)T(top,tb=%i,nogripper)F{P(id=%i,active)}S(tb=%i)}";
// The basket window: the folder tree on the left, the files with their bar in the middle, the
// preview on the right.
const char* const kBasketWindowLayout =
    ("R(ver,main=%i){T(menuBk,top,tb=%i,nogripper)T(top,tb=%i,nogripper)F(hor){F(width=240){P(id=%i,active)}F{"
     "T(top,tb=%i,nogripper)F{P(id=%i)}}F(width=280){P(id=%i)}}S(tb=%i)}");
// Two panes under one menu bar (the search-site format determination).
const char* const kTwoPaneLayout = "R{M{T(menuBk,top,tb=%i,nogripper)F{P(id=%i,active)}F{P(id=%i,active)}}}";

}  // namespace

std::string LayoutTemplate(int number) {
    switch (number) {
        case 1: return kMainWindowLayout;
        case 2: return kSinglePaneLayout;
        case 3: return kViewerLayout;
        case 4: return kBasketWindowLayout;
        case 6: return kTwoPaneLayout;
        default: return "";
    }
}

std::string FillLayout(const std::string& layout, const std::vector<int>& values) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < layout.size(); ++i) {
        if (layout[i] == '%' && i + 1 < layout.size() && layout[i + 1] == 'i') {
            out += std::to_string(next < values.size() ? values[next] : 0);
            ++next;
            ++i;
        } else {
            out += layout[i];
        }
    }
    return out;
}

const std::vector<SProgramWindow>& ProgramWindows() {
    static const std::vector<SProgramWindow> windows = {
        {"main", "Plover", 1,
         {MAIN_SCAN, TB_MAIN_MENU, TB_MAIN, MDI_LEFT, TB_WINDOW_TABS, PANE_BASKETS, TB_WINDOW_TABS, TB_HISTORY,
          PANE_HISTORY, TB_PROFILES, PANE_PROFILES, MDI_PRIMARY, TB_WINDOW_TABS, TB_MAIN_STATUS},
         {PANE_BASKETS, PANE_HISTORY, PANE_PROFILES, PANE_DOWNLOADS}},
        {"log", "Protocol log", 2, {PANE_LOG}, {PANE_LOG}},
        {"sysinfo", "System information", 2, {PANE_SYSINFO}, {PANE_SYSINFO}},
        {"viewer", "Image viewer", 3, {TB_VIEWER_MENU, TB_VIEWER, PANE_IMAGE, TB_VIEWER_STATUS}, {PANE_IMAGE}},
        {"basket", "Basket", 4,
         {MAIN_BASKET, TB_BASKET_MENU, TB_BASKET, PANE_BASKET_FOLDERS, TB_BASKET_FILES, PANE_BASKET_FILES,
          PANE_BASKET_PREVIEW, TB_BASKET_STATUS},
         {PANE_BASKET_FOLDERS, PANE_BASKET_FILES, PANE_BASKET_PREVIEW}},
        {"format", "Search site format", 6, {TB_MAIN_MENU, PANE_SITE_PAGE, PANE_SITE_TEMPLATE},
         {PANE_SITE_PAGE, PANE_SITE_TEMPLATE}},
    };
    return windows;
}

const SProgramWindow* FindProgramWindow(const std::string& name) {
    for (const SProgramWindow& w : ProgramWindows())
        if (name == w.name) return &w;
    return nullptr;
}

std::unique_ptr<SxfElement> BuildWindow(const SProgramWindow& window) {
    auto root = std::make_unique<SxfElement>(EElementKind::Root);
    BuildLayout(*root, FillLayout(LayoutTemplate(window.layout), window.values), window.panes);
    return root;
}

}  // namespace plover::ui
