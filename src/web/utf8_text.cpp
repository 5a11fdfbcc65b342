#include "web/utf8_text.h"

namespace plover::web {

namespace {

// The length of the well-formed sequence starting at s[i], or 0 when the byte there starts none.
size_t SequenceLength(std::string_view s, size_t i) {
    auto byte = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    unsigned b0 = byte(i);
    if (b0 < 0x80) return 1;
    auto cont = [&](size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
        unsigned b = byte(k);
        return k < s.size() && b >= lo && b <= hi;
    };
    // The second byte's range excludes overlong forms, surrogates and values above U+10FFFF.
    if (b0 >= 0xC2 && b0 <= 0xDF) return cont(i + 1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80, hi = b0 == 0xED ? 0x9F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        unsigned lo = b0 == 0xF0 ? 0x90 : 0x80, hi = b0 == 0xF4 ? 0x8F : 0xBF;
        return cont(i + 1, lo, hi) && cont(i + 2) && cont(i + 3) ? 4 : 0;
    }
    return 0;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
    std::string out;
    size_t i = 0;
    // Most text is plain: scan it without copying until the first bad byte.
    while (i < text.size()) {
        size_t n = SequenceLength(text, i);
        if (!n) break;
        i += n;
    }
    if (i == text.size()) return std::string(text);
    out.reserve(text.size() + 8);
    out.append(text.substr(0, i));
    while (i < text.size()) {
        size_t n = SequenceLength(text, i);
        if (n) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

}  // namespace plover::web
