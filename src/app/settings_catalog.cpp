#include "app/settings_catalog.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "app/reg_node.h"

namespace plover {
namespace {

void AddRows(std::vector<SSettingInfo>& out, std::vector<SRegTableEntry> rows, const std::string& prefix) {
    for (const auto& row : rows) {
        switch (row.kind) {
            case kRegDWord:
            case kRegInt:
            case kRegString:
            case kRegBinary: out.push_back({prefix + row.name, row.kind, row.target, row.size}); break;
            case kRegRecords:
                for (int i = 0; i < row.count; ++i)
                    if (auto* item = dynamic_cast<SRegTableItem*>(row.ops->at(row.target, size_t(i))))
                        AddRows(out, item->Table(), prefix + item->KeyName(i) + "/");
                break;
            default: break;  // record arrays belong to their own commands
        }
    }
}

// A whole number in decimal or 0x hexadecimal, with an optional "-" for signed settings.
bool ParseWhole(std::string_view s, bool allowNegative, int64_t lo, int64_t hi, int64_t& out) {
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        if (negative && !allowNegative) return false;
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return false;
    int64_t n = 0;
    for (char c : s) {
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : 99;
        if (d >= base) return false;
        n = n * base + d;
        if (n > 0xFFFFFFFFll) return false;
    }
    if (negative) n = -n;
    // A signed setting also takes its hexadecimal bit pattern (0xFFFFFFFF for -1).
    if (base == 16 && !negative && n > hi && hi == INT32_MAX) n = int32_t(uint32_t(n));
    if (n < lo || n > hi) return false;
    out = n;
    return true;
}

std::vector<std::string_view> SplitWords(std::string_view s) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == ',' || s[i] == '\t')) ++i;
        size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != ',' && s[i] != '\t') ++i;
        if (i > start) words.push_back(s.substr(start, i - start));
    }
    return words;
}

bool IsColour(const SSettingInfo& info) {
    size_t slash = info.name.rfind('/');
    return info.name.compare(slash == std::string::npos ? 0 : slash + 1, 5, "color") == 0;
}

}  // namespace

std::vector<SSettingInfo> ListSettings(CRegistrySettings& s) {
    std::vector<SSettingInfo> out;
    AddRows(out, s.Table(), "");
    return out;
}

const SSettingInfo* FindSetting(const std::vector<SSettingInfo>& list, std::string_view name) {
    std::string folded = FoldName(name);
    for (const auto& info : list)
        if (FoldName(info.name) == folded) return &info;
    return nullptr;
}

std::string FormatSetting(const SSettingInfo& info) {
    char buf[32];
    switch (info.kind) {
        case kRegDWord: {
            uint32_t v = *static_cast<const uint32_t*>(info.target);
            std::snprintf(buf, sizeof buf, IsColour(info) ? "0x%08" PRIX32 : "%" PRIu32, v);
            return buf;
        }
        case kRegInt: return std::to_string(*static_cast<const int32_t*>(info.target));
        case kRegString: return *static_cast<const std::string*>(info.target);
        case kRegBinary: {
            std::string out;
            for (size_t i = 0; i + 4 <= info.size; i += 4) {
                int32_t word;
                std::memcpy(&word, static_cast<const char*>(info.target) + i, 4);
                if (!out.empty()) out += ' ';
                out += std::to_string(word);
            }
            return out;
        }
        default: return {};
    }
}

std::string DescribeKind(const SSettingInfo& info) {
    switch (info.kind) {
        case kRegDWord: return "a whole number from 0 to 4294967295";
        case kRegInt: return "a whole number from -2147483648 to 2147483647";
        case kRegString: return "a text";
        case kRegBinary: return std::to_string(info.size / 4) + " whole numbers separated by spaces";
        default: return "nothing";
    }
}

bool ParseSetting(const SSettingInfo& info, std::string_view text, std::string* error) {
    auto fail = [&] {
        if (error) *error = info.name + " takes " + DescribeKind(info) + ", not \"" + std::string(text) + "\"";
        return false;
    };
    int64_t n = 0;
    switch (info.kind) {
        case kRegDWord:
            if (!ParseWhole(text, false, 0, UINT32_MAX, n)) return fail();
            *static_cast<uint32_t*>(info.target) = uint32_t(n);
            return true;
        case kRegInt:
            if (!ParseWhole(text, true, INT32_MIN, INT32_MAX, n)) return fail();
            *static_cast<int32_t*>(info.target) = int32_t(n);
            return true;
        case kRegString: *static_cast<std::string*>(info.target) = std::string(text); return true;
        case kRegBinary: {
            auto words = SplitWords(text);
            if (words.size() != info.size / 4) return fail();
            std::vector<int32_t> values;
            for (auto w : words) {
                if (!ParseWhole(w, true, INT32_MIN, INT32_MAX, n)) return fail();
                values.push_back(int32_t(n));
            }
            std::memcpy(info.target, values.data(), info.size);
            return true;
        }
        default: return fail();
    }
}

}  // namespace plover
