#pragma once
// The frame layout language: one line that names the elements of a window, nested.
//
//   element   := letter [ "(" parameter { separator parameter } ")" ] [ "{" { element } "}" ]
//   parameter := name [ "=" value ]      names and values are runs of letters and digits
//
// Letters: R the frame being laid out, F a frame, M an MDI client, C a control bar, T a toolbar,
// S a status bar (always given "bottom" before its own parameters), P an existing pane found by
// its "id", which must be its first parameter. No blanks are meant to appear; any character that
// is not a letter or digit between parameters is skipped like a ",".
//
// A level ends at "}", at a letter above "T" or one that names no element (the character is
// consumed), or at a "P" without parameters. A pane that does not exist, or a "P" whose first
// parameter is not "id", stops the whole parse; what was built so far stays. A placed pane takes
// the title "Untitled" in its frame's list of windows and, with "active", is activated.
// Nesting deeper than 200 levels stops the parse too (no window needs it; the stack stays safe).
#include <set>
#include <string>

#include "ui/layout_element.h"

namespace plover::ui {

inline constexpr const char* kUntitledPane = "Untitled";

struct SLayoutResult {
    size_t stoppedAt = 0;  // the position where parsing stopped
    bool aborted = false;  // a pane was missing or unnamed: the whole parse stopped there
};

// Builds root's contents from the description; panes names the panes the window has.
SLayoutResult BuildLayout(SxfElement& root, const std::string& description, const std::set<int>& panes);

}  // namespace plover::ui
