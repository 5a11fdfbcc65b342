// A server's Last-Modified text through the HTTP date reader: any bytes either give nothing or a
// time of 1970 or later that the same date written back in its first form gives again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "download/file_time.h"

using namespace plover;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::optional<int64_t> when = ParseHttpDate(text);
    if (!when) return 0;
    if (*when < 0) std::abort();
    time_t t = time_t(*when);
    struct tm tm {};
    if (!gmtime_r(&t, &tm)) return 0;
    char again[64];
    if (!strftime(again, sizeof again, "%a, %d %b %Y %H:%M:%S GMT", &tm)) return 0;
    // A leap second or a day past the month's end reads as the next moment; it must not go back.
    std::optional<int64_t> back = ParseHttpDate(again);
    if (!back || *back != *when) std::abort();
    return 0;
}
