#include "html/html_entities.h"

#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace plover::html {
namespace {

// The Latin-1 names, U+00A0 to U+00FF in order; browsers also take each without its ";".
constexpr const char* kLatin1[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

struct SNamed {
    const char* name;
    uint32_t code;
    bool legacy;  // also taken without ";"
};

constexpr SNamed kOthers[] = {
    {"quot", 34, true}, {"amp", 38, true}, {"lt", 60, true}, {"gt", 62, true}, {"QUOT", 34, true},
    {"AMP", 38, true}, {"LT", 60, true}, {"GT", 62, true}, {"COPY", 169, true}, {"REG", 174, true},
    {"apos", 39, false}, {"OElig", 338, false}, {"oelig", 339, false}, {"Scaron", 352, false},
    {"scaron", 353, false}, {"Yuml", 376, false}, {"fnof", 402, false}, {"circ", 710, false},
    {"tilde", 732, false}, {"ensp", 8194, false}, {"emsp", 8195, false}, {"thinsp", 8201, false},
    {"zwnj", 8204, false}, {"zwj", 8205, false}, {"lrm", 8206, false}, {"rlm", 8207, false},
    {"ndash", 8211, false}, {"mdash", 8212, false}, {"lsquo", 8216, false}, {"rsquo", 8217, false},
    {"sbquo", 8218, false}, {"ldquo", 8220, false}, {"rdquo", 8221, false}, {"bdquo", 8222, false},
    {"dagger", 8224, false}, {"Dagger", 8225, false}, {"bull", 8226, false}, {"hellip", 8230, false},
    {"permil", 8240, false}, {"prime", 8242, false}, {"Prime", 8243, false}, {"lsaquo", 8249, false},
    {"rsaquo", 8250, false}, {"oline", 8254, false}, {"frasl", 8260, false}, {"euro", 8364, false},
    {"image", 8465, false}, {"weierp", 8472, false}, {"real", 8476, false}, {"trade", 8482, false},
    {"alefsym", 8501, false}, {"larr", 8592, false}, {"uarr", 8593, false}, {"rarr", 8594, false},
    {"darr", 8595, false}, {"harr", 8596, false}, {"crarr", 8629, false}, {"lArr", 8656, false},
    {"uArr", 8657, false}, {"rArr", 8658, false}, {"dArr", 8659, false}, {"hArr", 8660, false},
    {"forall", 8704, false}, {"part", 8706, false}, {"exist", 8707, false}, {"empty", 8709, false},
    {"nabla", 8711, false}, {"isin", 8712, false}, {"notin", 8713, false}, {"ni", 8715, false},
    {"prod", 8719, false}, {"sum", 8721, false}, {"minus", 8722, false}, {"lowast", 8727, false},
    {"radic", 8730, false}, {"prop", 8733, false}, {"infin", 8734, false}, {"ang", 8736, false},
    {"and", 8743, false}, {"or", 8744, false}, {"cap", 8745, false}, {"cup", 8746, false},
    {"int", 8747, false}, {"there4", 8756, false}, {"sim", 8764, false}, {"cong", 8773, false},
    {"asymp", 8776, false}, {"ne", 8800, false}, {"equiv", 8801, false}, {"le", 8804, false},
    {"ge", 8805, false}, {"sub", 8834, false}, {"sup", 8835, false}, {"nsub", 8836, false},
    {"sube", 8838, false}, {"supe", 8839, false}, {"oplus", 8853, false}, {"otimes", 8855, false},
    {"perp", 8869, false}, {"sdot", 8901, false}, {"lceil", 8968, false}, {"rceil", 8969, false},
    {"lfloor", 8970, false}, {"rfloor", 8971, false}, {"lang", 10216, false}, {"rang", 10217, false},
    {"loz", 9674, false}, {"spades", 9824, false}, {"clubs", 9827, false}, {"hearts", 9829, false},
    {"diams", 9830, false}, {"thetasym", 977, false}, {"upsih", 978, false}, {"piv", 982, false},
    {"sigmaf", 962, false},
};

struct SEntry {
    uint32_t code;
    bool legacy;
};

const std::unordered_map<std::string, SEntry>& Names() {
    static const std::unordered_map<std::string, SEntry> names = [] {
        std::unordered_map<std::string, SEntry> m;
        for (uint32_t i = 0; i < 96; ++i) m.emplace(kLatin1[i], SEntry{0xA0 + i, true});
        for (const SNamed& n : kOthers) m.emplace(n.name, SEntry{n.code, n.legacy});
        // alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho
        // sigma tau upsilon phi chi psi omega
        static constexpr const char* greek[24] = {"alpha", "beta",  "gamma",   "delta", "epsilon", "zeta",
                                                  "eta",   "theta", "iota",    "kappa", "lambda",  "mu",
                                                  "nu",    "xi",    "omicron", "pi",    "rho",     "sigma",
                                                  "tau",   "upsilon", "phi",   "chi",   "psi",     "omega"};
        for (uint32_t i = 0; i < 24; ++i) {
            uint32_t offset = i < 17 ? i : i + 1;  // the capitals skip U+03A2, the smalls U+03C2
            std::string small = greek[i], capital = small;
            capital[0] = char(capital[0] - 'a' + 'A');
            m.emplace(small, SEntry{0x3B1 + offset, false});
            m.emplace(capital, SEntry{0x391 + offset, false});
        }
        return m;
    }();
    return names;
}

constexpr uint16_t kWindows1252[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
};

constexpr size_t kLongestName = 8;  // "thetasym", "alefsym"

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

uint32_t NumericCode(uint32_t value, bool overflow) {
    if (overflow || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
    if (value >= 0x80 && value <= 0x9F) return kWindows1252[value - 0x80];
    return value;
}

// A numeric reference at text[at] ("&#..."): its length and code, or 0 when it is none.
size_t ReadNumeric(std::string_view text, size_t at, uint32_t* code) {
    size_t i = at + 2;
    bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
    if (hex) ++i;
    size_t digits = i;
    uint32_t value = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        int d = hex ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (d < 0) break;
        value = value * (hex ? 16 : 10) + uint32_t(d);
        if (value > 0x10FFFF) {
            overflow = true;
            value = 0x110000;  // stays past the limit however many digits follow
        }
    }
    if (i == digits) return 0;
    if (i < text.size() && text[i] == ';') ++i;
    *code = NumericCode(value, overflow);
    return i - at;
}

// A named reference at text[at]: its length and code, or 0 when it is none.
size_t ReadNamed(std::string_view text, size_t at, ERefContext context, uint32_t* code) {
    size_t end = at + 1;
    while (end < text.size() && IsAlnum(text[end]) && end - at - 1 <= kLongestName) ++end;
    const auto& names = Names();
    if (end < text.size() && text[end] == ';') {
        auto it = names.find(std::string(text.substr(at + 1, end - at - 1)));
        if (it != names.end()) {
            *code = it->second.code;
            return end + 1 - at;
        }
    }
    // Without ";": the longest old name that the text begins with.
    for (size_t length = std::min(end - at - 1, kLongestName); length >= 2; --length) {
        auto it = names.find(std::string(text.substr(at + 1, length)));
        if (it == names.end() || !it->second.legacy) continue;
        size_t after = at + 1 + length;
        if (context == ERefContext::Attribute && after < text.size() && (IsAlnum(text[after]) || text[after] == '='))
            return 0;
        *code = it->second.code;
        return after - at;
    }
    return 0;
}

}  // namespace

void AppendDecoded(std::string_view text, ERefContext context, std::string& out) {
    size_t done = 0;
    for (size_t at = text.find('&'); at != std::string_view::npos; at = text.find('&', at + 1)) {
        uint32_t code = 0;
        size_t length = 0;
        if (at + 1 < text.size() && text[at + 1] == '#')
            length = ReadNumeric(text, at, &code);
        else if (at + 1 < text.size() && IsAlpha(text[at + 1]))
            length = ReadNamed(text, at, context, &code);
        if (length == 0) continue;
        out.append(text.substr(done, at - done));
        AppendUtf8(code, out);
        done = at + length;
        at = done - 1;
    }
    out.append(text.substr(done));
}

std::string DecodeReferences(std::string_view text, ERefContext context) {
    if (std::memchr(text.data(), '&', text.size()) == nullptr) return std::string(text);
    std::string out;
    out.reserve(text.size());
    AppendDecoded(text, context, out);
    return out;
}

}  // namespace plover::html
