#pragma once
// The JSON form of an element tree, as the browser's renderer reads it:
//   {"kind":"frame","class":"CxfFrame","params":[["hor",""],["width","350"]],"arrangement":"hor",
//    "width":"350", ..., "children":[...]}
// Bars carry their dock side, gripper, menu style and items; menu items carry the menu's
// top-level entries with their commands; panes their id, title and activation.
#include <nlohmann/json.hpp>

#include "ui/layout_element.h"
#include "ui/layouts.h"

namespace plover::ui {

nlohmann::json ElementJson(const SxfElement& element);
nlohmann::json ToolbarItemJson(const SToolbarItem& item);
// A program window: {"name","title","layout","description","root"}.
nlohmann::json WindowJson(const SProgramWindow& window);

}  // namespace plover::ui
