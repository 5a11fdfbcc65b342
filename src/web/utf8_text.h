#pragma once
// Names, addresses and folders are bytes; the browser gets JSON, which must be UTF-8. Text that
// is not is shown with a replacement character (U+FFFD) for each bad byte, checked once while a
// download is written instead of by writing and re-reading it as JSON.
#include <string>
#include <string_view>

namespace plover::web {

// The text itself when it is valid UTF-8; otherwise a copy with every byte that does not start a
// well-formed sequence (overlong forms, surrogates and code points above U+10FFFF included)
// replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

}  // namespace plover::web
