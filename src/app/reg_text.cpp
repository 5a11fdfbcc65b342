#include "app/reg_text.h"

#include <cstdio>

namespace plover {
namespace {

constexpr const char* kHeader =
    "; Plover settings: one [section] per key, one value a line as \"name\" = number|string|binary.\n"
    "; Plover reads this file at start and replaces it at exit: edit it only while Plover is not running.\n"
    "; A whole file ends with the line \"; end\".\n";
constexpr std::string_view kEndPromise = "; A whole file ends with the line \"; end\".";
constexpr std::string_view kEndLine = "; end";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendHexByte(std::string& out, unsigned char b) {
    static const char digits[] = "0123456789abcdef";
    out += digits[b >> 4];
    out += digits[b & 15];
}

// ---- writing ----

void AppendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    out += "\\x";
                    AppendHexByte(out, u);
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void AppendKeyName(std::string& out, std::string_view name) {
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '%' || c == '\\' || c == '[' || c == ']' || u < 0x20 || u == 0x7f) {
            out += '%';
            AppendHexByte(out, u);
        } else {
            out += c;
        }
    }
}

void AppendValue(std::string& out, const SRegValue& v) {
    AppendQuoted(out, v.name);
    switch (v.type) {
        case ERegType::DWord: out += " = number " + std::to_string(v.number); break;
        case ERegType::String:
            out += " = string ";
            AppendQuoted(out, v.bytes);
            break;
        case ERegType::Binary:
            out += " = binary";
            for (size_t i = 0; i < v.bytes.size(); ++i) {
                if (i % 4 == 0) out += ' ';
                AppendHexByte(out, static_cast<unsigned char>(v.bytes[i]));
            }
            break;
    }
    out += '\n';
}

struct SPending {
    const CRegNode* node;
    std::string path;
};

// ---- reading ----

class CLineReader {
public:
    explicit CLineReader(std::string_view line) : s_(line) {}
    bool AtEnd() const { return pos_ >= s_.size(); }
    char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }
    void SkipBlanks() {
        while (!AtEnd() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
    }
    bool Take(char c) {
        if (Peek() != c || AtEnd()) return false;
        ++pos_;
        return true;
    }
    std::string_view Word() {
        size_t start = pos_;
        while (!AtEnd() && s_[pos_] >= 'a' && s_[pos_] <= 'z') ++pos_;
        return s_.substr(start, pos_ - start);
    }
    std::string_view Rest() const { return s_.substr(std::min(pos_, s_.size())); }

    // A quoted string with its escapes; false on a malformed one.
    bool Quoted(std::string& out) {
        if (!Take('"')) return false;
        while (!AtEnd()) {
            char c = s_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (AtEnd()) return false;
            char e = s_[pos_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'x': {
                    if (pos_ + 2 > s_.size()) return false;
                    int hi = HexDigit(s_[pos_]), lo = HexDigit(s_[pos_ + 1]);
                    if (hi < 0 || lo < 0) return false;
                    out += char(hi * 16 + lo);
                    pos_ += 2;
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

private:
    std::string_view s_;
    size_t pos_ = 0;
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool ParseNumber(std::string_view s, uint32_t& out) {
    if (s.empty()) return false;
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    uint64_t n = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0 || d >= base) return false;
        n = n * uint64_t(base) + uint64_t(d);
        if (n > 0xFFFFFFFFull) return false;
    }
    out = uint32_t(n);
    return true;
}

bool ParseBinary(std::string_view s, std::string& out) {
    int high = -1;
    for (char c : s) {
        if (c == ' ' || c == '\t') continue;
        int d = HexDigit(c);
        if (d < 0) return false;
        if (high < 0) {
            high = d;
        } else {
            out += char(high * 16 + d);
            high = -1;
        }
    }
    return high < 0;
}

// "[a\b\c]" without the brackets: the key path, its names percent-decoded.
bool ParseHeader(std::string_view path, CRegNode& root, HKEY& current, std::string& why) {
    HKEY node;  // null: the root itself
    size_t depth = 0;
    if (path.empty()) {
        current = nullptr;
        return true;
    }
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        std::string_view raw = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        std::string name;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                name += raw[i];
                continue;
            }
            if (i + 2 >= raw.size()) {
                why = "bad %-escape in key name";
                return false;
            }
            int hi = HexDigit(raw[i + 1]), lo = HexDigit(raw[i + 2]);
            if (hi < 0 || lo < 0) {
                why = "bad %-escape in key name";
                return false;
            }
            name += char(hi * 16 + lo);
            i += 2;
        }
        if (name.empty()) {
            why = "empty key name in path";
            return false;
        }
        if (++depth > kMaxKeyDepth) {
            why = "keys nested too deep";
            return false;
        }
        node = node ? node->CreateChild(name) : root.CreateChild(name);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    current = node;
    return true;
}

bool ParseValueLine(std::string_view line, SRegValue& v, std::string& why) {
    CLineReader r(line);
    if (!r.Quoted(v.name)) {
        why = "bad value name";
        return false;
    }
    r.SkipBlanks();
    if (!r.Take('=')) {
        why = "\"=\" expected after the value name";
        return false;
    }
    r.SkipBlanks();
    std::string_view kind = r.Word();
    if (!r.AtEnd() && !r.Take(' ') && !r.Take('\t')) {
        why = "unknown value kind";
        return false;
    }
    r.SkipBlanks();
    if (kind == "number") {
        v.type = ERegType::DWord;
        if (ParseNumber(r.Rest(), v.number)) return true;
        why = "bad number (unsigned 32-bit expected)";
        return false;
    }
    if (kind == "string") {
        v.type = ERegType::String;
        if (r.Quoted(v.bytes) && Trim(r.Rest()).empty()) return true;
        why = "bad string";
        return false;
    }
    if (kind == "binary") {
        v.type = ERegType::Binary;
        if (ParseBinary(r.Rest(), v.bytes)) return true;
        why = "bad binary block (pairs of hexadecimal digits expected)";
        return false;
    }
    why = "unknown value kind (number, string or binary expected)";
    return false;
}

}  // namespace

std::string FormatRegText(const CRegNode& root) {
    std::string out = kHeader;
    if (!root.Values().empty()) {
        out += "\n[]\n";
        for (const auto& v : root.Values()) AppendValue(out, v);
    }
    // Pre-order, children in their order, without recursion.
    std::vector<SPending> stack;
    for (auto it = root.Children().rbegin(); it != root.Children().rend(); ++it) {
        std::string path;
        AppendKeyName(path, (*it)->Name());
        stack.push_back({it->get(), std::move(path)});
    }
    while (!stack.empty()) {
        SPending p = std::move(stack.back());
        stack.pop_back();
        if (!p.node->Values().empty() || p.node->Children().empty()) {
            out += "\n[" + p.path + "]\n";
            for (const auto& v : p.node->Values()) AppendValue(out, v);
        }
        const auto& kids = p.node->Children();
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
            std::string path = p.path + "\\";
            AppendKeyName(path, (*it)->Name());
            stack.push_back({it->get(), std::move(path)});
        }
    }
    out += "\n";
    out += kEndLine;
    out += "\n";
    return out;
}

bool IsWholeRegText(std::string_view text, std::string* why) {
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        if (why) *why = "it is empty";
        return false;
    }
    if (text.find(kEndPromise) == std::string_view::npos) return true;
    std::string_view rest = text;
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r' || rest.back() == ' ' || rest.back() == '\t'))
        rest.remove_suffix(1);
    size_t lineStart = rest.rfind('\n');
    std::string_view last = lineStart == std::string_view::npos ? rest : rest.substr(lineStart + 1);
    if (Trim(last) == kEndLine) return true;
    if (why) *why = "it ends before its end line";
    return false;
}

bool ParseRegText(std::string_view text, CRegNode& root, std::string* error) {
    HKEY current;
    bool inSection = false;
    size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        size_t nl = text.find('\n');
        std::string_view line = Trim(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;

        std::string why;
        if (line.front() == '[') {
            if (line.size() >= 2 && line.back() == ']' &&
                ParseHeader(line.substr(1, line.size() - 2), root, current, why)) {
                inSection = true;
                continue;
            }
            if (why.empty()) why = "bad section header";
        } else if (!inSection) {
            why = "value outside a [section]";
        } else {
            SRegValue v;
            if (ParseValueLine(line, v, why)) {
                (current ? *current : root).SetValue(std::move(v));
                continue;
            }
        }
        if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    }
    return true;
}

}  // namespace plover
