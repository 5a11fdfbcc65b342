#include "download/file_time.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace plover {
namespace {

constexpr int32_t kPageManagerClient = 4;
constexpr int32_t kPreviewClient = 1999;

int MonthOf(std::string_view name) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (name.size() == 3 && strncasecmp(name.data(), kMonths[i], 3) == 0) return i + 1;
    return 0;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The words of the text, split at blanks, commas and dashes.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '-' || text[i] == '\t')) ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != ',' && text[i] != '-' && text[i] != '\t') ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

std::optional<int> Number(std::string_view s, size_t minDigits, size_t maxDigits) {
    if (s.size() < minDigits || s.size() > maxDigits) return std::nullopt;
    int n = 0;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<int> TimeOfDay(std::string_view s) {
    if (s.size() != 8 || s[2] != ':' || s[5] != ':') return std::nullopt;
    auto h = Number(s.substr(0, 2), 2, 2), m = Number(s.substr(3, 2), 2, 2), sec = Number(s.substr(6, 2), 2, 2);
    if (!h || !m || !sec || *h > 23 || *m > 59 || *sec > 60) return std::nullopt;
    return *h * 3600 + *m * 60 + *sec;
}

}  // namespace

std::optional<int64_t> ParseHttpDate(std::string_view text) {
    std::vector<std::string_view> w = Words(text);
    std::optional<int> day, year, seconds;
    int month = 0;
    if (w.size() == 6 && (w[5] == "GMT" || w[5] == "UTC")) {
        // "Sun, 06 Nov 1994 08:49:37 GMT" or "Sunday, 06-Nov-94 08:49:37 GMT"
        day = Number(w[1], 1, 2);
        month = MonthOf(w[2]);
        year = Number(w[3], 2, 4);
        seconds = TimeOfDay(w[4]);
        if (year && w[3].size() == 2) *year += *year < 70 ? 2000 : 1900;
    } else if (w.size() == 5) {
        // "Sun Nov  6 08:49:37 1994"
        month = MonthOf(w[1]);
        day = Number(w[2], 1, 2);
        seconds = TimeOfDay(w[3]);
        year = Number(w[4], 4, 4);
    }
    if (!day || !year || !seconds || month == 0 || *day < 1 || *day > 31 || *year < 1970) return std::nullopt;
    return DaysFromCivil(*year, month, *day) * 86400 + *seconds;
}

bool TakesServerFileTime(int32_t clientId) { return clientId != kPageManagerClient && clientId != kPreviewClient; }

bool SetFileTimeFromHttpDate(const std::string& path, std::string_view lastModified) {
    std::optional<int64_t> when = ParseHttpDate(lastModified);
    if (!when) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;  // read now
    times[1].tv_sec = time_t(*when);
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace plover
