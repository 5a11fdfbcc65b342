#include "ui/toolbar_defs.h"

#include "ui/commands.h"

namespace plover::ui {
namespace {

constexpr SToolbarItem kEnd{TBI_END, 0};
constexpr SToolbarItem kSep{TBI_SEPARATOR, 0};
constexpr SToolbarItem Button(int command) { return {TBI_BUTTON, command}; }

constexpr SToolbarItem kMainMenu[] = {{TBI_MENU, MENU_MAIN}, kEnd};
// The traffic mode is chosen in the status bar, where its speed is shown; the main bar then fits
// one row at the usual window widths.
constexpr SToolbarItem kMain[] = {
    Button(CMD_NEW_SCAN), kSep, {TBI_LABEL, LABEL_ADDRESS}, {TBI_COMBO, COMBO_ADDRESS},
    {TBI_LABEL, LABEL_PROFILE}, {TBI_COMBO, COMBO_PROFILE}, Button(CMD_START_SCAN), Button(CMD_STOP_SCAN),
    Button(CMD_RELOAD_SCAN), kSep, {TBI_LABEL, LABEL_SEARCH}, {TBI_COMBO, COMBO_SEARCH_TEXT},
    {TBI_COMBO, COMBO_SEARCH_SITE}, Button(CMD_SEARCH), kSep, Button(CMD_ADD_DOWNLOADS), Button(CMD_PAUSE),
    Button(CMD_RESUME), Button(CMD_DELETE), kEnd};
constexpr SToolbarItem kWindowTabs[] = {{TBI_WINDOW_LIST, 0}, kEnd};
constexpr SToolbarItem kHistory[] = {{TBI_CONTENT, CONTENT_PANE_TITLE}, Button(CMD_FORGET), Button(CMD_REFRESH), kEnd};
constexpr SToolbarItem kProfiles[] = {{TBI_CONTENT, CONTENT_PANE_TITLE}, Button(CMD_REFRESH), kEnd};
constexpr SToolbarItem kMainStatus[] = {{TBI_CONTENT, CONTENT_SPEED}, kSep, {TBI_CONTENT, CONTENT_ACTIVE}, kSep,
                                        {TBI_LABEL, LABEL_TRAFFIC}, {TBI_COMBO, COMBO_TRAFFIC_MODE}, kSep,
                                        {TBI_CONTENT, CONTENT_DIALUP}, kEnd};
constexpr SToolbarItem kViewerMenu[] = {{TBI_MENU, MENU_VIEWER}, kEnd};
constexpr SToolbarItem kViewer[] = {Button(CMD_VIEWER_PREVIOUS), Button(CMD_VIEWER_NEXT), kSep,
                                    Button(CMD_VIEWER_FIT), Button(CMD_VIEWER_ACTUAL), Button(CMD_VIEWER_ZOOM_IN),
                                    Button(CMD_VIEWER_ZOOM_OUT), kSep, Button(CMD_VIEWER_SHOW_IN_BASKET),
                                    Button(CMD_VIEWER_EXTERNAL), kEnd};
constexpr SToolbarItem kViewerStatus[] = {{TBI_CONTENT, CONTENT_IMAGE_INFO}, kSep, {TBI_CONTENT, CONTENT_ZOOM}, kEnd};
constexpr SToolbarItem kBasketMenu[] = {{TBI_MENU, MENU_BASKET}, kEnd};
constexpr SToolbarItem kBasket[] = {Button(CMD_FILES_OPEN), kSep, Button(CMD_FILES_NEW_FOLDER), Button(CMD_FILES_RENAME),
                                    Button(CMD_FILES_DELETE), Button(CMD_FILES_MOVE), kSep,
                                    Button(CMD_FILES_THUMBNAILS), Button(CMD_FILES_DETAILS), kSep,
                                    Button(CMD_REFRESH), kEnd};
constexpr SToolbarItem kBasketFiles[] = {{TBI_CONTENT, CONTENT_FOLDER}, kEnd};
constexpr SToolbarItem kBasketStatus[] = {{TBI_CONTENT, CONTENT_FOLDER_INFO}, kEnd};

}  // namespace

const SToolbarItem* ToolbarDefinition(int n) {
    switch (n) {
        case TB_MAIN_MENU: return kMainMenu;
        case TB_MAIN: return kMain;
        case TB_WINDOW_TABS: return kWindowTabs;
        case TB_HISTORY: return kHistory;
        case TB_PROFILES: return kProfiles;
        case TB_MAIN_STATUS: return kMainStatus;
        case TB_VIEWER_MENU: return kViewerMenu;
        case TB_VIEWER: return kViewer;
        case TB_VIEWER_STATUS: return kViewerStatus;
        case TB_BASKET_MENU: return kBasketMenu;
        case TB_BASKET: return kBasket;
        case TB_BASKET_FILES: return kBasketFiles;
        case TB_BASKET_STATUS: return kBasketStatus;
        default: return nullptr;
    }
}

std::vector<SToolbarItem> ToolbarItems(int n) {
    std::vector<SToolbarItem> items;
    for (const SToolbarItem* it = ToolbarDefinition(n); it && it->kind != TBI_END; ++it) items.push_back(*it);
    return items;
}

const char* LabelText(int label) {
    switch (label) {
        case LABEL_ADDRESS: return "Address:";
        case LABEL_PROFILE: return "Profile:";
        case LABEL_TRAFFIC: return "Traffic:";
        case LABEL_SEARCH: return "Search:";
        default: return "";
    }
}

const char* ComboName(int combo) {
    switch (combo) {
        case COMBO_ADDRESS: return "address";
        case COMBO_PROFILE: return "profile";
        case COMBO_TRAFFIC_MODE: return "trafficMode";
        case COMBO_SEARCH_TEXT: return "searchText";
        case COMBO_SEARCH_SITE: return "searchSite";
        default: return "";
    }
}

const char* ContentName(int content) {
    switch (content) {
        case CONTENT_SPEED: return "speed";
        case CONTENT_ACTIVE: return "active";
        case CONTENT_DIALUP: return "dialup";
        case CONTENT_PANE_TITLE: return "paneTitle";
        case CONTENT_IMAGE_INFO: return "imageInfo";
        case CONTENT_FOLDER: return "folder";
        case CONTENT_FOLDER_INFO: return "folderInfo";
        case CONTENT_ZOOM: return "zoom";
        default: return "";
    }
}

}  // namespace plover::ui
