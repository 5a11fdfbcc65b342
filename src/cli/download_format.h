#pragma once
// How the command line shows downloads: sizes, speeds, times, a progress bar and the one-line
// summary of a download, as pure functions of a snapshot so they can be tested as tables.
#include <cstdint>
#include <string>

namespace plover {
struct IDownload;
}

namespace plover::cli {

// What one line shows, read from a download at one moment.
struct SProgressLine {
    std::string name;      // the file name, or the address while the name is unknown
    uint32_t size = 0;     // 0 while unknown
    uint32_t downloaded = 0;
    uint32_t speed = 0;    // bytes per second
    uint32_t timeLeft = 0; // seconds; 0 when unknown
    int workers = 0;
    std::string status;    // the status text ("Downloading", "File not found", ...)
};

SProgressLine Snapshot(IDownload* d, const std::string& address);

std::string FormatBytes(uint64_t bytes);        // "512 B", "1.5 KiB", "20.0 MiB", "1.00 GiB"
std::string FormatSpeed(uint64_t bytesPerSecond);  // FormatBytes + "/s"
std::string FormatDuration(uint32_t seconds);   // "0:07", "12:05", "1:02:03"
// "[#####.....]" with `width` cells between the brackets.
std::string ProgressBar(double fraction, int width);
// Percent of a known size, 0 to 100; -1 when the size is unknown.
int Percent(uint32_t downloaded, uint32_t size);

// The live line of a terminal, fitted into `columns`:
//   name  [#####.....]  42%  10.5 MiB/25.0 MiB  3.2 MiB/s  0:05 left  5 workers  Downloading
std::string TerminalLine(const SProgressLine& s, int columns);
// The progress line written when standard output is not a terminal:
//   name: 42% (10.5 MiB of 25.0 MiB), 3.2 MiB/s, 0:05 left, 5 workers, Downloading
std::string PlainLine(const SProgressLine& s);

}  // namespace plover::cli
