#include "ui/layout_element.h"

#include <climits>
#include <strings.h>

namespace plover::ui {

bool SxfElement::IsFrame() const {
    return kind == EElementKind::Root || kind == EElementKind::Frame || kind == EElementKind::MDIClient;
}

bool SxfElement::IsBar() const {
    return kind == EElementKind::ControlBar || kind == EElementKind::ToolBar || kind == EElementKind::StatusBar;
}

bool SxfElement::HasParam(const std::string& name) const {
    for (const SxfParam& p : params)
        if (p.name == name) return true;
    return false;
}

SxfElement& SxfElement::Root() {
    SxfElement* e = this;
    while (e->parent) e = e->parent;
    return *e;
}

bool NameIs(const std::string& name, const char* wanted) {
    std::string_view w(wanted);
    if (w == "id" || w == "mdiID" || w == "PrimaryMDI") return strcasecmp(name.c_str(), wanted) == 0;
    return name == w;
}

int DecimalValue(const std::string& value) {
    long long n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
        if (n > INT_MAX) return INT_MAX;
    }
    return int(n);
}

void SxfElement::AddParam(const std::string& name, const std::string& value) {
    params.push_back({name, value});
    bool frame = IsFrame(), bar = IsBar();
    if (frame || bar) {
        if (NameIs(name, "overlap")) arrangement = ARRANGE_OVERLAP;
        else if (NameIs(name, "hor")) arrangement = ARRANGE_HOR;
        else if (NameIs(name, "ver")) arrangement = ARRANGE_VER;
    }
    if (frame) {
        // Only the first main object counts: once the frame has a window, "main" creates nothing.
        if (NameIs(name, "main") && mainObject == MAIN_NONE) {
            int n = DecimalValue(value);
            if (n == MAIN_SCAN || n == MAIN_BASKET) mainObject = n;
        } else if (NameIs(name, "width")) {
            width = value;
        } else if (NameIs(name, "height")) {
            height = value;
        }
    }
    if (bar) {
        if (NameIs(name, "left")) dock = DOCK_LEFT;
        else if (NameIs(name, "top")) dock = DOCK_TOP;
        else if (NameIs(name, "right")) dock = DOCK_RIGHT;
        else if (NameIs(name, "bottom")) dock = DOCK_BOTTOM;
        else if (NameIs(name, "nogripper")) gripper = false;
    }
    if ((kind == EElementKind::ToolBar || kind == EElementKind::StatusBar) && NameIs(name, "tb")) {
        toolbarDef = DecimalValue(value);
        items = ToolbarItems(toolbarDef);
    }
    if (kind == EElementKind::ToolBar && NameIs(name, "menuBk")) menuStyle = true;
    if (kind == EElementKind::Pane && NameIs(name, "active")) active = true;
    if (kind == EElementKind::MDIClient) {
        if (NameIs(name, "mdiID")) {
            mdiId = DecimalValue(value);
            std::vector<SxfElement*>& list = Root().mdiClients;
            bool listed = false;
            for (SxfElement* e : list) listed = listed || e == this;
            if (!listed) list.push_back(this);
        } else if (NameIs(name, "PrimaryMDI")) {
            primaryMdi = true;
        }
    }
}

char KindLetter(EElementKind kind) {
    switch (kind) {
        case EElementKind::Root: return 'R';
        case EElementKind::Frame: return 'F';
        case EElementKind::MDIClient: return 'M';
        case EElementKind::ControlBar: return 'C';
        case EElementKind::ToolBar: return 'T';
        case EElementKind::StatusBar: return 'S';
        case EElementKind::Pane: return 'P';
    }
    return '?';
}

const char* KindClass(EElementKind kind) {
    switch (kind) {
        case EElementKind::Frame: return "CxfFrame";
        case EElementKind::MDIClient: return "CxfMDIClient";
        case EElementKind::ControlBar: return "CxfControlBar";
        case EElementKind::ToolBar: return "CxfToolBar";
        case EElementKind::StatusBar: return "CxfStatusBar";
        default: return "";
    }
}

const char* ArrangementName(int arrangement) {
    static const char* const names[] = {"none", "overlap", "hor", "ver"};
    return arrangement >= 0 && arrangement <= 3 ? names[arrangement] : "none";
}

const char* DockName(int dock) {
    static const char* const names[] = {"none", "left", "top", "right", "bottom"};
    return dock >= 0 && dock <= 4 ? names[dock] : "none";
}

}  // namespace plover::ui
