#pragma once
// The program's layouts and its windows. A layout is chosen by number (1, 2, 3, 4 and 6; there is
// no layout 5, and any other number gives an empty description); its "%i" places are filled, in
// order, with pane identifiers, toolbar definitions and main-object numbers when a window is
// built from it.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/layout_element.h"

namespace plover::ui {

// Pane identifiers.
enum EPaneId : int {
    PANE_BASKETS = 101,
    PANE_HISTORY = 102,
    PANE_PROFILES = 103,
    PANE_DOWNLOADS = 110,
    PANE_LOG = 120,
    PANE_SYSINFO = 121,
    PANE_IMAGE = 130,
    PANE_BASKET_FOLDERS = 140,
    PANE_BASKET_FILES = 141,
    PANE_BASKET_PREVIEW = 142,
    PANE_SITE_PAGE = 150,
    PANE_SITE_TEMPLATE = 151,
};

// MDI client identifiers of the main window.
enum EMdiId : int { MDI_LEFT = 1, MDI_PRIMARY = 2 };

// The layout description of that number, with its "%i" places still open.
std::string LayoutTemplate(int number);
// Replaces each "%i" in order with the next value (0 when the values run out).
std::string FillLayout(const std::string& layout, const std::vector<int>& values);

// A window of the program: its route name, title, layout and the panes it has.
struct SProgramWindow {
    const char* name;   // "main", "log", ...
    const char* title;  // "Plover", "Protocol log", ...
    int layout;
    std::vector<int> values;  // fills the layout's "%i" places
    std::set<int> panes;
};

const std::vector<SProgramWindow>& ProgramWindows();
const SProgramWindow* FindProgramWindow(const std::string& name);

// The window's element tree, built from its filled layout.
std::unique_ptr<SxfElement> BuildWindow(const SProgramWindow& window);

}  // namespace plover::ui
