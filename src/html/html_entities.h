#pragma once
// Character references in page text and attribute values, decoded to UTF-8 the way browsers do
// for the references pages actually use:
//   - named ones of HTML 4 (the Latin-1 set, symbols, Greek letters, punctuation) and &apos;,
//     case-sensitive, ended by ";";
//   - the old names that browsers also take without the ";" (&amp, &lt, &gt, &quot, &nbsp,
//     &copy, &eacute, ... the Latin-1 set): in text always, in an attribute value only when
//     neither a letter, a digit nor "=" follows, so that "?a=1&copy=2" stays an address;
//   - decimal "&#233;" and hexadecimal "&#xE9;" (the ";" may be missing); 0, surrogates and
//     numbers past U+10FFFF give U+FFFD, and 0x80 to 0x9F are read as Windows-1252, as pages
//     written on Windows mean them.
// Anything else ("&", "& ", "&unknown;", "&#;") stays as written.
#include <string>
#include <string_view>

namespace plover::html {

enum class ERefContext { Text, Attribute };

// Appends text to out with its character references decoded.
void AppendDecoded(std::string_view text, ERefContext context, std::string& out);

// The decoded text; the input itself when it holds no "&".
std::string DecodeReferences(std::string_view text, ERefContext context);

}  // namespace plover::html
