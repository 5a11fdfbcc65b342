#pragma once
// A 16-byte identifier of an interface or an engine, written in the registry form
// "8FF725EA-37AA-4FC0-9002-79B218057EC2" and parsed at compile time.
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

struct GUID {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;

    std::string ToString() const;  // "{8FF725EA-37AA-4FC0-9002-79B218057EC2}"
};

namespace detail {
constexpr uint32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return uint32_t(c - '0');
    if (c >= 'a' && c <= 'f') return uint32_t(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return uint32_t(c - 'A' + 10);
    throw "bad hex digit in GUID literal";  // only reachable at compile time
}
constexpr uint32_t Hex(std::string_view s, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v * 16 + HexDigit(s[at + i]);
    return v;
}
}  // namespace detail

// MakeGuid("8FF725EA-37AA-4FC0-9002-79B218057EC2"), braces optional.
consteval GUID MakeGuid(std::string_view s) {
    if (!s.empty() && s.front() == '{') s = s.substr(1, s.size() - 2);
    if (s.size() != 36) throw "GUID literal must have 36 characters";
    GUID g;
    g.Data1 = detail::Hex(s, 0, 8);
    g.Data2 = uint16_t(detail::Hex(s, 9, 4));
    g.Data3 = uint16_t(detail::Hex(s, 14, 4));
    g.Data4[0] = uint8_t(detail::Hex(s, 19, 2));
    g.Data4[1] = uint8_t(detail::Hex(s, 21, 2));
    for (size_t i = 0; i < 6; ++i) g.Data4[2 + i] = uint8_t(detail::Hex(s, 24 + 2 * i, 2));
    return g;
}

}  // namespace plover
