#pragma once
// Does an address name a page rather than a file? Used where a fetched HTML answer must be told
// apart from the file that was asked for (the HTTP worker's probe), and for a page's priority and
// link classification by the page manager and the scanner, so the rule lives in one place.
//
// An address is a page when any of these holds:
//  1. it has exactly two slashes or backslashes in all (a bare server address, "http://host");
//  2. it has no ".";
//  3. the text after its last "." is 8 characters or longer, or holds a character that is not a
//     letter or digit;
//  4. it ends (ignoring case) in "htm", "html", "shtml", "dhtml", "cgi", "php", "asp", "aspx",
//     "jsp", "pl" or "do";
//  5. "http://" or "ftp://" occurs after its first character (ignoring case) and the address
//     from there on (an embedded address) is a page by these same rules.
#include <string_view>

namespace plover {

bool LooksLikePage(std::string_view url);

}  // namespace plover
