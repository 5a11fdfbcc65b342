#pragma once
// The program's commands (what buttons and menu entries do) and its menus, as program data.
// A command has a number, a stable key the browser dispatches on and the text users see; a menu
// resource is a list of top-level entries, each a list of commands and separators.
#include <string>
#include <vector>

namespace plover::ui {

enum ECommand : int {
    CMD_NONE = 0,
    CMD_NEW_SCAN = 100,
    CMD_ADD_DOWNLOADS,
    CMD_IMPORT_LIST,
    CMD_EXPORT_LIST,
    CMD_EXIT,
    CMD_PAUSE = 200,
    CMD_RESUME,
    CMD_RETRY,
    CMD_DELETE,
    CMD_DELETE_WITH_FILE,
    CMD_MOVE_UP,
    CMD_MOVE_DOWN,
    CMD_OPEN_FOLDER,
    CMD_PAUSE_ALL,
    CMD_RESUME_ALL,
    CMD_DELETE_FINISHED,
    CMD_MOVE_FILE,
    CMD_SHOW_DOWNLOADS = 300,
    CMD_SHOW_LOG,
    CMD_TRAFFIC_MODE_0 = 400,
    CMD_TRAFFIC_MODE_1,
    CMD_TRAFFIC_MODE_2,
    CMD_TRAFFIC_STOP,
    CMD_START_SCAN = 500,
    CMD_STOP_SCAN,
    CMD_RELOAD_SCAN,
    CMD_SELECT_ALL = 510,
    CMD_SELECT_NEW,
    CMD_SEND_TO_BASKET,
    CMD_SEARCH = 520,
    CMD_FORGET = 600,
    CMD_REFRESH,
    CMD_CLOSE_WINDOW,
    // The baskets pane and the basket window.
    CMD_BASKET_NEW = 700,
    CMD_BASKET_EDIT,
    CMD_BASKET_DELETE,
    CMD_BASKET_OPEN,
    CMD_FILES_NEW_FOLDER,
    CMD_FILES_RENAME,
    CMD_FILES_DELETE,
    CMD_FILES_MOVE,
    CMD_FILES_OPEN,
    CMD_FILES_SELECT_ALL,
    CMD_FILES_THUMBNAILS,
    CMD_FILES_DETAILS,
    CMD_FILES_PICTURES_ONLY,
    // The image viewer.
    CMD_VIEWER_FIT = 800,
    CMD_VIEWER_ACTUAL,
    CMD_VIEWER_ZOOM_IN,
    CMD_VIEWER_ZOOM_OUT,
    CMD_VIEWER_PREVIOUS,
    CMD_VIEWER_NEXT,
    CMD_VIEWER_SHOW_IN_BASKET,
    CMD_VIEWER_EXTERNAL,
    CMD_VIEWER_OPEN_LOCAL,
    CMD_ABOUT = 900,
    CMD_SYSINFO = 901,
    CMD_UNINSTALL = 950,
    CMD_OPTIONS,
    CMD_PROFILES_EDIT = 960,
    CMD_SEARCH_SITES_EDIT,
};

struct SCommand {
    int id;
    const char* key;   // "download.pause"
    const char* text;  // "Pause"
};

// The command of that number, or null.
const SCommand* FindCommand(int id);

// Menu resources a toolbar's menu item (kind 5) loads.
enum EMenuResource : int { MENU_MAIN = 1, MENU_VIEWER = 2, MENU_BASKET = 3 };

struct SMenuEntry {
    std::string text;        // a top-level entry's title; empty for a command or separator
    int command = CMD_NONE;  // CMD_NONE: a separator (within a top-level entry)
    std::vector<SMenuEntry> items;
};

// The top-level entries of a menu resource (empty when there is no such menu).
std::vector<SMenuEntry> MenuEntries(int menu);

}  // namespace plover::ui
