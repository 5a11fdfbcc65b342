#pragma once
// Toolbar definitions: what a bar given "tb=n" shows. A definition is a list of items, each a
// kind and an argument, ended by kind 0. The argument of a button is its command, of a combo box
// its combo, of a menu its menu resource, of a label its text and of a further content item the
// content shown (the traffic figures, the dial-up state).
#include <vector>

namespace plover::ui {

enum EToolbarItemKind : int {
    TBI_END = 0,
    TBI_BUTTON = 1,       // CxfToolBarButton
    TBI_WINDOW_LIST = 2,  // CxfFrameListContent: the frame's windows
    TBI_COMBO = 3,        // CxfComboBox
    TBI_SEPARATOR = 4,    // CxfToolBarSeparator
    TBI_MENU = 5,         // each top-level entry of the menu becomes a CxfHorMenuElement
    TBI_LABEL = 6,        // CxfToolBarLabel
    TBI_CONTENT = 7,
};

struct SToolbarItem {
    int kind = TBI_END;
    int arg = 0;
    friend bool operator==(const SToolbarItem&, const SToolbarItem&) = default;
};

// The program's toolbar definitions by number.
enum EToolbarDef : int {
    TB_MAIN_MENU = 1,
    TB_MAIN = 2,
    TB_WINDOW_TABS = 3,
    TB_HISTORY = 4,
    TB_PROFILES = 5,
    TB_MAIN_STATUS = 6,
    TB_VIEWER_MENU = 7,
    TB_VIEWER = 8,
    TB_VIEWER_STATUS = 9,
    TB_BASKET_MENU = 10,
    TB_BASKET = 11,
    TB_BASKET_FILES = 12,
    TB_BASKET_STATUS = 13,
};

enum ECombo : int { COMBO_ADDRESS = 1, COMBO_PROFILE = 2, COMBO_TRAFFIC_MODE = 3, COMBO_SEARCH_TEXT = 4, COMBO_SEARCH_SITE = 5 };
enum ELabel : int { LABEL_ADDRESS = 1, LABEL_PROFILE = 2, LABEL_TRAFFIC = 3, LABEL_SEARCH = 4 };
enum EContent : int {
    CONTENT_SPEED = 1,       // the current download speed
    CONTENT_ACTIVE = 2,      // how many downloads are busy
    CONTENT_DIALUP = 3,      // the dial-up state
    CONTENT_PANE_TITLE = 4,  // the title of the bar's pane
    CONTENT_IMAGE_INFO = 5,  // format, size and bit depth of the picture shown
    CONTENT_FOLDER = 6,      // the folder a basket window shows
    CONTENT_FOLDER_INFO = 7, // its files, their size and the selection
    CONTENT_ZOOM = 8,        // the viewer's scale
};

// Definition n as stored (ended by an item of kind 0); null when there is none.
const SToolbarItem* ToolbarDefinition(int n);
// The items of definition n up to its end (empty when there is none).
std::vector<SToolbarItem> ToolbarItems(int n);
// The text of a label, a combo box's accessible name.
const char* LabelText(int label);
const char* ComboName(int combo);
const char* ContentName(int content);

}  // namespace plover::ui
