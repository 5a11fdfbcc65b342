#include <gtest/gtest.h>

#include "web/utf8_text.h"

namespace plover::web {
namespace {

TEST(ValidUtf8, KeepsWellFormedTextAndReplacesEachBadByte) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"picture.jpg", "picture.jpg"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7"},  // 2, 3, 4 bytes
        {"a\xFF" "b", "a" + r + "b"},                       // never valid
        {"caf\xE9.jpg", "caf" + r + ".jpg"},                 // Latin-1 name
        {"\xC3", r},                                         // cut at the end
        {"\xE2\x82", r + r},                                 // cut three-byte form
        {"\x80x", r + "x"},                                  // stray continuation byte
        {"\xC0\xAF", r + r},                                 // overlong '/'
        {"\xE0\x80\xAF", r + r + r},                         // overlong three-byte form
        {"\xED\xA0\x80", r + r + r},                         // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},                 // above U+10FFFF
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},            // U+10FFFF itself
        {std::string("a\0b", 3), std::string("a\0b", 3)},    // NUL is text; JSON escapes it
    };
    for (const Case& c : cases) EXPECT_EQ(ValidUtf8(c.in), c.out) << testing::PrintToString(c.in);
}

}  // namespace
}  // namespace plover::web
