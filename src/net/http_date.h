#pragma once
// Dates in HTTP headers (Expires of a cookie, Retry-After), read the forgiving way browsers read
// them: the text is split at delimiters and the first tokens that look like a time (hh:mm:ss), a
// day of the month, a month name and a year are taken, in any order. So the three forms servers
// send all parse: "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT" and
// "Sun Nov  6 08:49:37 1994". Two-digit years 70-99 are 19xx, 00-69 20xx. Dates are UTC.
#include <cstdint>
#include <optional>
#include <string_view>

namespace plover {

// Seconds since 1970-01-01 UTC (negative before it); nullopt when a part is missing or out of
// range (day 1-31, year 1601 and later, hour up to 23, minute and second up to 59).
std::optional<int64_t> ParseHttpDate(std::string_view text);

// Seconds since 1970-01-01 UTC of a civil date and time (proleptic Gregorian calendar).
int64_t UnixTimeOf(int year, int month, int day, int hour, int minute, int second);

}  // namespace plover
