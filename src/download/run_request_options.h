#pragma once
// What one command-line run adds to every HTTP request and to the traffic limits, without storing
// anything: the rate as users type it ("200k", "1.5M") and extra header lines ("Name: value")
// that join or replace the lines a request is built with.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

// Bytes per second from "N", "Nk" or "NM" (a number, maybe with a fraction; k = 1024, M = 1024²,
// either case). Nothing for text that is not such a rate, for 0 and for more than 4 GiB/s.
std::optional<uint32_t> ParseRate(std::string_view text);

struct SHeaderLine {
    std::string name;
    std::string value;
    bool operator==(const SHeaderLine&) const = default;
};

// "Name: value" with a token for the name; the value is trimmed. Nothing for a line without a
// colon, with an empty or invalid name, or with a line break anywhere (it would smuggle in a
// header of its own).
std::optional<SHeaderLine> ParseHeaderLine(std::string_view text);

// The request with the header lines applied: a line whose name the request already has (any
// case) replaces that line's value; the others are added before the empty line that ends it.
std::string WithHeaderLines(std::string request, const std::vector<SHeaderLine>& lines);

// The header lines of this run (the process): set once before downloads start.
void SetRunHeaderLines(std::vector<SHeaderLine> lines);
// The request with this run's header lines (unchanged when there are none).
std::string WithRunHeaderLines(std::string request);

}  // namespace plover
