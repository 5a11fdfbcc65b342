#include "net/http_date.h"

#include <strings.h>


namespace plover {

namespace {

bool IsDelimiter(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u == 0x09 || (u >= 0x20 && u <= 0x2F) || (u >= 0x3B && u <= 0x40) || (u >= 0x5B && u <= 0x60) ||
           (u >= 0x7B && u <= 0x7E);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 1 to `most` digits at the start of `token` (at least `least`), not followed by another digit.
bool LeadingNumber(std::string_view token, size_t least, size_t most, int& value, size_t& used) {
    size_t n = 0;
    value = 0;
    while (n < token.size() && IsDigit(token[n])) {
        if (n == most) return false;
        value = value * 10 + (token[n] - '0');
        ++n;
    }
    used = n;
    return n >= least;
}

bool ParseTime(std::string_view token, int& h, int& m, int& s) {
    size_t used = 0;
    if (!LeadingNumber(token, 1, 2, h, used) || used >= token.size() || token[used] != ':') return false;
    token.remove_prefix(used + 1);
    if (!LeadingNumber(token, 1, 2, m, used) || used >= token.size() || token[used] != ':') return false;
    token.remove_prefix(used + 1);
    return LeadingNumber(token, 1, 2, s, used);
}

int MonthOf(std::string_view token) {
    static constexpr const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3) return 0;
    for (int i = 0; i < 12; ++i)
        if (strncasecmp(token.data(), kMonths[i], 3) == 0) return i + 1;
    return 0;
}

}  // namespace

int64_t UnixTimeOf(int year, int month, int day, int hour, int minute, int second) {
    // Days from the civil date (H. Hinnant's algorithm), then the time of day.
    int64_t y = year - (month <= 2 ? 1 : 0);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::optional<int64_t> ParseHttpDate(std::string_view text) {
    bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && IsDelimiter(text[pos])) ++pos;
        size_t start = pos;
        while (pos < text.size() && !IsDelimiter(text[pos])) ++pos;
        std::string_view token = text.substr(start, pos - start);
        if (token.empty()) continue;
        size_t used = 0;
        int value = 0;
        if (!haveTime && ParseTime(token, hour, minute, second)) {
            haveTime = true;
        } else if (!haveDay && LeadingNumber(token, 1, 2, value, used)) {
            haveDay = true;
            day = value;
        } else if (!haveMonth && MonthOf(token)) {
            haveMonth = true;
            month = MonthOf(token);
        } else if (!haveYear && LeadingNumber(token, 2, 4, value, used)) {
            haveYear = true;
            year = value;
        }
    }
    if (!haveTime || !haveDay || !haveMonth || !haveYear) return std::nullopt;
    if (year >= 70 && year <= 99) year += 1900;
    else if (year >= 0 && year <= 69) year += 2000;
    if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return UnixTimeOf(year, month, day, hour, minute, second);
}

}  // namespace plover
