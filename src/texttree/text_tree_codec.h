#pragma once
// The value rules of the text tree, as pure functions: how numbers and encoded strings are
// written into a value and read back, which names and values the file form can hold, and the
// "|"-free form of an address.
//
// A value is everything between two "|" characters of a line, with no escape, so a value holding
// "|" cannot be stored: the writer refuses it rather than let it end early when read back and
// corrupt every value after it. Owners of values that may hold "|" make them safe first (an
// address through AddressForTextTree) or refuse them where the user enters them.
#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

// Unsigned decimal ("%u"): -1 is written as 4294967295.
std::string FormatTreeNumber(uint32_t value);
// Decimal digits only, not empty; converted modulo 2^32. False (out unchanged) otherwise.
bool ParseTreeNumber(std::string_view text, uint32_t& out);

// "X" followed by two lowercase hex digits per byte of the complemented byte: "abc" -> "X9e9d9c",
// "" -> "X".
std::string EncodeTreeString(std::string_view text);
// The reverse: must start with "X", have an odd length and hold hex digits (either case) only.
// False (out unchanged) otherwise.
bool DecodeTreeString(std::string_view text, std::string& out);

// A node name: one or more ASCII letters, digits and "_".
bool IsTreeName(std::string_view name);
// A value the file form can hold and give back whole: no "|" and no zero byte.
bool IsStorableTreeValue(std::string_view value);

// The same address with every "|" written as "%7C", so that it can be stored as a value.
std::string AddressForTextTree(std::string_view url);

}  // namespace plover
