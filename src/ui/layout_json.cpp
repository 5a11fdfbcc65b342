#include "ui/layout_json.h"

#include "ui/commands.h"
#include "ui/toolbar_defs.h"

namespace plover::ui {
namespace {

const char* KindName(EElementKind kind) {
    switch (kind) {
        case EElementKind::Root: return "root";
        case EElementKind::Frame: return "frame";
        case EElementKind::MDIClient: return "mdi";
        case EElementKind::ControlBar: return "controlbar";
        case EElementKind::ToolBar: return "toolbar";
        case EElementKind::StatusBar: return "statusbar";
        case EElementKind::Pane: return "pane";
    }
    return "";
}

nlohmann::json CommandJson(int id) {
    const SCommand* c = FindCommand(id);
    if (!c) return {{"id", id}};
    return {{"id", id}, {"key", c->key}, {"text", c->text}};
}

nlohmann::json MenuJson(const SMenuEntry& entry) {
    nlohmann::json items = nlohmann::json::array();
    for (const SMenuEntry& e : entry.items)
        items.push_back(e.command == CMD_NONE ? nlohmann::json{{"separator", true}} : CommandJson(e.command));
    return {{"text", entry.text}, {"items", items}};
}

}  // namespace

nlohmann::json ToolbarItemJson(const SToolbarItem& item) {
    static const char* const types[] = {"end", "button", "windows", "combo", "separator", "menu", "label", "content"};
    nlohmann::json j = {{"kind", item.kind}, {"arg", item.arg},
                        {"type", item.kind >= 0 && item.kind <= 7 ? types[item.kind] : "unknown"}};
    switch (item.kind) {
        case TBI_BUTTON: j["command"] = CommandJson(item.arg); break;
        case TBI_COMBO: j["name"] = ComboName(item.arg); break;
        case TBI_LABEL: j["text"] = LabelText(item.arg); break;
        case TBI_CONTENT: j["name"] = ContentName(item.arg); break;
        case TBI_MENU: {
            nlohmann::json entries = nlohmann::json::array();
            for (const SMenuEntry& e : MenuEntries(item.arg)) entries.push_back(MenuJson(e));
            j["entries"] = entries;
            break;
        }
        default: break;
    }
    return j;
}

nlohmann::json ElementJson(const SxfElement& e) {
    nlohmann::json params = nlohmann::json::array();
    for (const SxfParam& p : e.params) params.push_back({p.name, p.value});
    nlohmann::json j = {{"kind", KindName(e.kind)}, {"letter", std::string(1, KindLetter(e.kind))},
                        {"class", KindClass(e.kind)}, {"params", params}};
    if (e.IsFrame() || e.IsBar()) j["arrangement"] = ArrangementName(e.arrangement);
    if (e.IsFrame()) {
        j["main"] = e.mainObject;
        if (!e.width.empty()) j["width"] = e.width;
        if (!e.height.empty()) j["height"] = e.height;
        nlohmann::json windows = nlohmann::json::array();
        for (const SxfWindowEntry& w : e.windows) windows.push_back({{"pane", w.paneId}, {"title", w.title}});
        j["windows"] = windows;
    }
    if (e.kind == EElementKind::MDIClient) {
        if (e.mdiId >= 0) j["mdiID"] = e.mdiId;
        j["primary"] = e.primaryMdi;
    }
    if (e.IsBar()) {
        j["dock"] = DockName(e.dock);
        j["gripper"] = e.gripper;
        j["menuBk"] = e.menuStyle;
        if (e.toolbarDef >= 0) j["tb"] = e.toolbarDef;
        nlohmann::json items = nlohmann::json::array();
        for (const SToolbarItem& it : e.items) items.push_back(ToolbarItemJson(it));
        j["items"] = items;
    }
    if (e.kind == EElementKind::Pane) {
        j["id"] = e.paneId;
        j["title"] = e.title;
        j["active"] = e.active;
    }
    if (e.kind == EElementKind::Root) {
        nlohmann::json mdi = nlohmann::json::array();
        for (const SxfElement* m : e.mdiClients) mdi.push_back(m->mdiId);
        j["mdiClients"] = mdi;
        j["activePane"] = e.activePane;
    }
    nlohmann::json children = nlohmann::json::array();
    for (const auto& c : e.children) children.push_back(ElementJson(*c));
    j["children"] = children;
    return j;
}

nlohmann::json WindowJson(const SProgramWindow& window) {
    std::string description = FillLayout(LayoutTemplate(window.layout), window.values);
    auto root = BuildWindow(window);
    return {{"name", window.name}, {"title", window.title}, {"layout", window.layout},
            {"description", description}, {"root", ElementJson(*root)}};
}

}  // namespace plover::ui
