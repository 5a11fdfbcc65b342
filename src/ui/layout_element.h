#pragma once
// The element tree a frame layout description builds: no drawing in it, only what each element
// is, the parameters it was given (in order, names and values as written) and what its parameter
// handler made of them. Front ends render the tree; the JSON form is what the browser receives.
//
// Elements: the root (the frame being laid out), frames, MDI clients, docked control bars,
// toolbars, the status bar and panes. Frames are the root, F and M; bars are C, T and S.
#include <memory>
#include <string>
#include <vector>

#include "ui/toolbar_defs.h"

namespace plover::ui {

enum class EElementKind { Root, Frame, MDIClient, ControlBar, ToolBar, StatusBar, Pane };

// How a frame or bar arranges its children.
enum EArrangement : int { ARRANGE_NONE = 0, ARRANGE_OVERLAP = 1, ARRANGE_HOR = 2, ARRANGE_VER = 3 };
// The side a bar docks at.
enum EDockSide : int { DOCK_NONE = 0, DOCK_LEFT = 1, DOCK_TOP = 2, DOCK_RIGHT = 3, DOCK_BOTTOM = 4 };
// The main objects a frame may create.
enum EMainObject : int { MAIN_NONE = 0, MAIN_SCAN = 1, MAIN_BASKET = 2 };

struct SxfParam {
    std::string name;
    std::string value;  // empty for a parameter written without "="
    friend bool operator==(const SxfParam&, const SxfParam&) = default;
};

// A window in a frame's list of windows (what a window-list item shows).
struct SxfWindowEntry {
    int paneId = 0;
    std::string title;
};

struct SxfElement {
    explicit SxfElement(EElementKind k) : kind(k) {}

    EElementKind kind;
    SxfElement* parent = nullptr;
    std::vector<SxfParam> params;
    std::vector<std::unique_ptr<SxfElement>> children;  // in the order of the description

    int arrangement = ARRANGE_NONE;
    // Frames.
    int mainObject = MAIN_NONE;
    std::string width, height;           // size along the parent's arrangement, as written
    std::vector<SxfWindowEntry> windows;  // the frame's list of windows
    // MDI clients.
    int mdiId = -1;  // -1: none given
    bool primaryMdi = false;
    // Bars.
    int dock = DOCK_NONE;
    bool gripper = true;
    bool menuStyle = false;
    int toolbarDef = -1;  // -1: no "tb" given
    std::vector<SToolbarItem> items;
    // Panes.
    int paneId = -1;
    bool active = false;
    std::string title;
    // The root: its MDI clients in the order they were named, and the pane activated last.
    std::vector<SxfElement*> mdiClients;
    int activePane = -1;

    bool IsFrame() const;
    bool IsBar() const;
    bool HasParam(const std::string& name) const;  // exact name
    SxfElement& Root();
    const SxfElement& Root() const { return const_cast<SxfElement*>(this)->Root(); }
    // Appends the parameter and hands it to the handler at once.
    void AddParam(const std::string& name, const std::string& value);
};

// "R", "F", "M", "C", "T", "S", "P".
char KindLetter(EElementKind kind);
// The framework class an element is created as ("CxfFrame", ...; "" for the root and panes).
const char* KindClass(EElementKind kind);
const char* ArrangementName(int arrangement);  // "none", "overlap", "hor", "ver"
const char* DockName(int dock);                 // "none", "left", "top", "right", "bottom"
// A value read as a decimal number: its leading digits (0 when none), capped at INT_MAX.
int DecimalValue(const std::string& value);
// Names of "id", "mdiID" and "PrimaryMDI" compare without regard to case; all others exactly.
bool NameIs(const std::string& name, const char* wanted);

}  // namespace plover::ui
