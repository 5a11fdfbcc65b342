#pragma once
// The text form of the settings store: one section per key, headed by its path from the root
// with "\" between the key names, then one value a line with its kind spelled out:
//
//   ; comment
//   [Software\Bramble\Plover\TimeoutParams]
//   "dwConnect" = number 20
//   "csWavFile" = string "/usr/share/sounds/done.wav"
//   "sizeThumb" = binary 20000000 20000000
//
// Numbers are unsigned 32-bit, written in decimal (a reader also takes 0x hexadecimal). Strings
// and value names are quoted with the escapes \\ \" \n \r \t and \xHH; other bytes, UTF-8
// included, stand as they are. Binary blocks are hexadecimal digits, spaces between them free.
// In a key path "%", "\", "[", "]" and control bytes of a name are written as %HH. A key is
// written when it has values or no subkeys (parents of written keys are implied), so an empty
// key survives a round trip. Sections and values keep the tree's order.
//
// Every file written ends with the line "; end", which its header announces, so that a file cut
// short at a line's end is told from a whole one.
//
// Parsing is strict: any line that is not a comment, a header or a well-formed value rejects
// the whole text, with the line number in the reason. The same name twice in one key: the
// later value wins. Keys nest at most kMaxKeyDepth deep.
#include <string>
#include <string_view>

#include "app/reg_node.h"

namespace plover {

inline constexpr size_t kMaxKeyDepth = 64;

// Whether text is a whole store file rather than a cut one: not empty (a store always holds its
// header) and, when it carries the header's promise of an end line, ending with that line. A
// file written before the end line existed is judged by its parse alone. False with the reason.
bool IsWholeRegText(std::string_view text, std::string* why);

// Fills root (which should be empty) from text; on failure, error tells the line and reason and
// root holds what was read before it.
bool ParseRegText(std::string_view text, CRegNode& root, std::string* error);

std::string FormatRegText(const CRegNode& root);

}  // namespace plover
