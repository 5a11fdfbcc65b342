#include "ui/commands.h"

namespace plover::ui {
namespace {

const SCommand kCommands[] = {
    {CMD_NEW_SCAN, "scan.new", "New scan"},
    {CMD_ADD_DOWNLOADS, "download.add", "Add downloads..."},
    {CMD_IMPORT_LIST, "download.import", "Import address list..."},
    {CMD_EXPORT_LIST, "download.export", "Export address list..."},
    {CMD_EXIT, "app.exit", "Exit"},
    {CMD_PAUSE, "download.pause", "Pause"},
    {CMD_RESUME, "download.resume", "Resume"},
    {CMD_RETRY, "download.retry", "Retry"},
    {CMD_DELETE, "download.delete", "Delete"},
    {CMD_DELETE_WITH_FILE, "download.deleteWithFile", "Delete with file"},
    {CMD_MOVE_UP, "download.moveUp", "Move up"},
    {CMD_MOVE_DOWN, "download.moveDown", "Move down"},
    {CMD_OPEN_FOLDER, "download.openFolder", "Open the folder"},
    {CMD_MOVE_FILE, "download.moveFile", "Move the file..."},
    {CMD_PAUSE_ALL, "download.pauseAll", "Pause all"},
    {CMD_RESUME_ALL, "download.resumeAll", "Resume all"},
    {CMD_DELETE_FINISHED, "download.deleteFinished", "Remove finished"},
    {CMD_SHOW_DOWNLOADS, "view.downloads", "Download list"},
    {CMD_SHOW_LOG, "view.log", "Protocol log"},
    {CMD_TRAFFIC_MODE_0, "traffic.mode0", "Full speed"},
    {CMD_TRAFFIC_MODE_1, "traffic.mode1", "Medium speed"},
    {CMD_TRAFFIC_MODE_2, "traffic.mode2", "Low speed"},
    {CMD_TRAFFIC_STOP, "traffic.stop", "Stop the queue"},
    {CMD_START_SCAN, "scan.start", "Start"},
    {CMD_STOP_SCAN, "scan.stop", "Stop"},
    {CMD_RELOAD_SCAN, "scan.reload", "Reload"},
    {CMD_SELECT_ALL, "scan.selectAll", "Select all"},
    {CMD_SELECT_NEW, "scan.selectNew", "Select new"},
    {CMD_SEND_TO_BASKET, "scan.send", "Send to basket..."},
    {CMD_SEARCH, "scan.search", "Search"},
    {CMD_FORGET, "history.forget", "Forget"},
    {CMD_REFRESH, "view.refresh", "Refresh"},
    {CMD_CLOSE_WINDOW, "window.close", "Close"},
    {CMD_BASKET_NEW, "basket.new", "New basket..."},
    {CMD_BASKET_EDIT, "basket.edit", "Properties..."},
    {CMD_BASKET_DELETE, "basket.delete", "Delete basket"},
    {CMD_BASKET_OPEN, "basket.open", "Open basket"},
    {CMD_FILES_NEW_FOLDER, "files.newFolder", "New folder..."},
    {CMD_FILES_RENAME, "files.rename", "Rename..."},
    {CMD_FILES_DELETE, "files.delete", "Delete"},
    {CMD_FILES_MOVE, "files.move", "Move to..."},
    {CMD_FILES_OPEN, "files.open", "Open"},
    {CMD_FILES_SELECT_ALL, "files.selectAll", "Select all"},
    {CMD_FILES_THUMBNAILS, "files.thumbnails", "Thumbnails"},
    {CMD_FILES_DETAILS, "files.details", "Details"},
    {CMD_FILES_PICTURES_ONLY, "files.picturesOnly", "Pictures only"},
    {CMD_VIEWER_FIT, "viewer.fit", "Fit"},
    {CMD_VIEWER_ACTUAL, "viewer.actual", "100%"},
    {CMD_VIEWER_ZOOM_IN, "viewer.zoomIn", "Zoom in"},
    {CMD_VIEWER_ZOOM_OUT, "viewer.zoomOut", "Zoom out"},
    {CMD_VIEWER_PREVIOUS, "viewer.previous", "Previous"},
    {CMD_VIEWER_NEXT, "viewer.next", "Next"},
    {CMD_VIEWER_SHOW_IN_BASKET, "viewer.showInBasket", "Show in basket"},
    {CMD_VIEWER_EXTERNAL, "viewer.external", "External viewer"},
    {CMD_VIEWER_OPEN_LOCAL, "viewer.openLocal", "Open a file..."},
    {CMD_ABOUT, "help.about", "About Plover"},
    {CMD_UNINSTALL, "app.uninstall", "Uninstall Plover..."},
    {CMD_OPTIONS, "tools.options", "Options..."},
    {CMD_SYSINFO, "help.sysinfo", "System information"},
    {CMD_PROFILES_EDIT, "tools.profiles", "Scan profiles..."},
    {CMD_SEARCH_SITES_EDIT, "tools.searchSites", "Search sites..."},
};

SMenuEntry Top(const char* text, std::initializer_list<int> commands) {
    SMenuEntry top;
    top.text = text;
    for (int c : commands) top.items.push_back({"", c, {}});
    return top;
}

}  // namespace

const SCommand* FindCommand(int id) {
    for (const SCommand& c : kCommands)
        if (c.id == id) return &c;
    return nullptr;
}

std::vector<SMenuEntry> MenuEntries(int menu) {
    switch (menu) {
        case MENU_MAIN:
            return {
                Top("File", {CMD_NEW_SCAN, CMD_ADD_DOWNLOADS, CMD_NONE, CMD_IMPORT_LIST, CMD_EXPORT_LIST, CMD_NONE,
                             CMD_UNINSTALL, CMD_NONE, CMD_EXIT}),
                Top("Downloads", {CMD_PAUSE, CMD_RESUME, CMD_RETRY, CMD_NONE, CMD_DELETE, CMD_DELETE_WITH_FILE,
                                  CMD_DELETE_FINISHED, CMD_NONE, CMD_MOVE_UP, CMD_MOVE_DOWN, CMD_NONE,
                                  CMD_PAUSE_ALL, CMD_RESUME_ALL, CMD_NONE, CMD_MOVE_FILE, CMD_OPEN_FOLDER}),
                Top("Scan", {CMD_NEW_SCAN, CMD_START_SCAN, CMD_STOP_SCAN, CMD_RELOAD_SCAN, CMD_NONE, CMD_SELECT_ALL,
                             CMD_SELECT_NEW, CMD_NONE, CMD_SEND_TO_BASKET}),
                Top("View", {CMD_SHOW_DOWNLOADS, CMD_SHOW_LOG, CMD_NONE, CMD_REFRESH}),
                Top("Traffic", {CMD_TRAFFIC_MODE_0, CMD_TRAFFIC_MODE_1, CMD_TRAFFIC_MODE_2, CMD_NONE,
                                CMD_TRAFFIC_STOP}),
                Top("Tools", {CMD_PROFILES_EDIT, CMD_SEARCH_SITES_EDIT, CMD_NONE, CMD_OPTIONS}),
                Top("Help", {CMD_SYSINFO, CMD_NONE, CMD_ABOUT}),
            };
        case MENU_VIEWER:
            return {Top("File", {CMD_VIEWER_OPEN_LOCAL, CMD_VIEWER_EXTERNAL, CMD_VIEWER_SHOW_IN_BASKET, CMD_NONE,
                                 CMD_CLOSE_WINDOW}),
                    Top("View", {CMD_VIEWER_FIT, CMD_VIEWER_ACTUAL, CMD_VIEWER_ZOOM_IN, CMD_VIEWER_ZOOM_OUT, CMD_NONE,
                                 CMD_VIEWER_PREVIOUS, CMD_VIEWER_NEXT})};
        case MENU_BASKET:
            return {Top("File", {CMD_FILES_OPEN, CMD_FILES_NEW_FOLDER, CMD_NONE, CMD_CLOSE_WINDOW}),
                    Top("Edit", {CMD_FILES_RENAME, CMD_FILES_DELETE, CMD_FILES_MOVE, CMD_NONE, CMD_FILES_SELECT_ALL}),
                    Top("View", {CMD_FILES_THUMBNAILS, CMD_FILES_DETAILS, CMD_FILES_PICTURES_ONLY, CMD_NONE,
                                 CMD_REFRESH})};
        default:
            return {};
    }
}

}  // namespace plover::ui
