#include "cli/download_format.h"

#include <algorithm>
#include <cstdio>

#include "download/i_download.h"

namespace plover::cli {

SProgressLine Snapshot(IDownload* d, const std::string& address) {
    const plover::SDownloadSnapshot state = d->GetSnapshot();  // one moment, one lock
    SProgressLine s;
    s.name = state.fileName.empty() ? address : state.fileName;
    s.size = state.size;
    s.downloaded = state.downloaded;
    s.workers = int(state.workers.size());
    bool running = !state.finished && s.workers > 0;
    s.speed = running ? state.speed : 0;
    s.timeLeft = running ? state.timeLeft : 0;
    s.status = ShownStatusText(state);
    return s;
}

std::string FormatBytes(uint64_t bytes) {
    char buf[32];
    if (bytes < 1024)
        std::snprintf(buf, sizeof buf, "%llu B", (unsigned long long)bytes);
    else if (bytes < 1024ull * 1024)
        std::snprintf(buf, sizeof buf, "%.1f KiB", double(bytes) / 1024);
    else if (bytes < 1024ull * 1024 * 1024)
        std::snprintf(buf, sizeof buf, "%.1f MiB", double(bytes) / (1024.0 * 1024));
    else
        std::snprintf(buf, sizeof buf, "%.2f GiB", double(bytes) / (1024.0 * 1024 * 1024));
    return buf;
}

std::string FormatSpeed(uint64_t bytesPerSecond) { return FormatBytes(bytesPerSecond) + "/s"; }

std::string FormatDuration(uint32_t seconds) {
    char buf[32];
    uint32_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h)
        std::snprintf(buf, sizeof buf, "%u:%02u:%02u", h, m, s);
    else
        std::snprintf(buf, sizeof buf, "%u:%02u", m, s);
    return buf;
}

std::string ProgressBar(double fraction, int width) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    int full = int(fraction * width + 1e-9);
    return "[" + std::string(size_t(full), '#') + std::string(size_t(width - full), '.') + "]";
}

int Percent(uint32_t downloaded, uint32_t size) {
    if (size == 0 || size == 0xFFFFFFFFu) return -1;
    return int(std::min<uint64_t>(100, uint64_t(downloaded) * 100 / size));
}

namespace {

std::string Figures(const SProgressLine& s, const char* sizeJoin) {
    std::string out = FormatBytes(s.downloaded);
    if (Percent(s.downloaded, s.size) >= 0) out += sizeJoin + FormatBytes(s.size);
    return out;
}

std::string FitName(const std::string& name, size_t width) {
    if (name.size() <= width) return name + std::string(width - name.size(), ' ');
    if (width <= 3) return name.substr(0, width);
    return name.substr(0, width - 3) + "...";
}

}  // namespace

std::string TerminalLine(const SProgressLine& s, int columns) {
    int pct = Percent(s.downloaded, s.size);
    std::string tail = "  " + ProgressBar(pct < 0 ? 0 : pct / 100.0, 20);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%3d%%", pct < 0 ? 0 : pct);
    tail += std::string("  ") + (pct < 0 ? " ---" : buf);
    tail += "  " + Figures(s, "/");
    if (s.speed) tail += "  " + FormatSpeed(s.speed);
    if (s.timeLeft) tail += "  " + FormatDuration(s.timeLeft) + " left";
    if (s.workers) tail += "  " + std::to_string(s.workers) + (s.workers == 1 ? " worker" : " workers");
    tail += "  " + s.status;
    size_t nameWidth = columns > int(tail.size()) + 12 ? size_t(columns) - tail.size() : 12;
    nameWidth = std::min(nameWidth, std::max<size_t>(s.name.size(), 12));
    std::string line = FitName(s.name, nameWidth) + tail;
    if (columns > 0 && line.size() > size_t(columns)) line.resize(size_t(columns));
    return line;
}

std::string PlainLine(const SProgressLine& s) {
    std::string out = s.name + ": ";
    int pct = Percent(s.downloaded, s.size);
    if (pct >= 0)
        out += std::to_string(pct) + "% (" + Figures(s, " of ") + ")";
    else
        out += Figures(s, "");
    if (s.speed) out += ", " + FormatSpeed(s.speed);
    if (s.timeLeft) out += ", " + FormatDuration(s.timeLeft) + " left";
    if (s.workers) out += ", " + std::to_string(s.workers) + (s.workers == 1 ? " worker" : " workers");
    return out + ", " + s.status;
}

}  // namespace plover::cli
