#include "texttree/text_tree_codec.h"

namespace plover {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string FormatTreeNumber(uint32_t value) { return std::to_string(value); }

bool ParseTreeNumber(std::string_view text, uint32_t& out) {
    if (text.empty()) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10u + uint32_t(c - '0');  // wraps modulo 2^32 like the usual conversion
    }
    out = value;
    return true;
}

std::string EncodeTreeString(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(1 + 2 * text.size());
    out += 'X';
    for (unsigned char c : text) {
        unsigned char b = static_cast<unsigned char>(~c);
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return out;
}

bool DecodeTreeString(std::string_view text, std::string& out) {
    if (text.empty() || text[0] != 'X' || text.size() % 2 == 0) return false;
    std::string decoded;
    decoded.reserve(text.size() / 2);
    for (size_t i = 1; i < text.size(); i += 2) {
        int hi = HexDigitValue(text[i]), lo = HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        decoded += static_cast<char>(~((hi << 4) | lo) & 0xFF);
    }
    out = std::move(decoded);
    return true;
}

bool IsTreeName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!IsNameChar(c)) return false;
    return true;
}

bool IsStorableTreeValue(std::string_view value) {
    return value.find('|') == std::string_view::npos && value.find('\0') == std::string_view::npos;
}

std::string AddressForTextTree(std::string_view url) {
    std::string out;
    out.reserve(url.size());
    for (char c : url) {
        if (c == '|')
            out += "%7C";
        else
            out += c;
    }
    return out;
}

}  // namespace plover
