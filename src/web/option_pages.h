#pragma once
// The option pages as the user sees them: every stored setting on the page of its group, with a
// label, the control that suits its values (a check box for a yes/no value, a number field with
// its range, a list of choices, a folder or a file, a colour, a pair of sizes) and the rule that
// a new value must pass before it is stored. Pure data and rules; the commands are in
// options_api.h.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plover::web {

enum class EOptionControl { Check, Number, Choice, Folder, File, Text, Password, Colour, Numbers, Shown };

struct SOptionRow {
    std::string name;   // the stored value's name as the settings catalog gives it
    std::string page;   // the page it is shown on
    std::string label;  // what the page calls it
    EOptionControl control;
    int64_t min = 0, max = 0;            // Number and Numbers: the range of every number
    std::vector<const char*> choices{};  // Choice: the text of the values 0, 1, 2, ...
    const char* unit = "";               // Number: what the number counts
    bool mayBeEmpty = true;              // Folder and File: whether "" (none) is allowed
};

// The pages in the order the window lists them.
const std::vector<const char*>& OptionPages();
// The row of a setting (any case), or null for a setting no page names: it is then shown on
// the "General" page as a plain field.
const SOptionRow* FindOptionRow(std::string_view name);
// The place of a row on its page.
size_t OptionRowOrder(const SOptionRow* row);

// Empty when value may be stored for the row; else the refusal shown under the field.
// Folders must exist; files must exist and be readable files.
std::string CheckOptionValue(const SOptionRow& row, std::string_view value);

// "0x00BBGGRR" (as stored) and "#rrggbb" (as a colour field gives it) turned into each other.
std::string ColourToHtml(std::string_view stored);
std::optional<std::string> ColourFromHtml(std::string_view html);

}  // namespace plover::web
