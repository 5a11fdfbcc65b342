#include "cli/cli_kit.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/tick.h"

namespace plover::cli {

HRESULT CCommandNetSink::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    *out = iid == IID_IUnknown || iid == IID_INetAdviseSink ? static_cast<INetAdviseSink*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
}

std::ostream& Complain() { return std::cerr << "plover: "; }

int Refuse(int status, const std::string& message) {
    Complain() << message << "\n";
    return status;
}

int ChooseColumns(int terminalColumns, const char* columnsEnv) {
    if (terminalColumns > 0) return terminalColumns;
    if (columnsEnv && *columnsEnv) {
        char* end = nullptr;
        long n = std::strtol(columnsEnv, &end, 10);
        if (*end == '\0' && n > 0 && n < 100000) return int(n);
    }
    return 80;
}

int TerminalColumnsOf(int fd) {
    winsize ws{};
    int columns = ioctl(fd, TIOCGWINSZ, &ws) == 0 ? ws.ws_col : 0;
    return ChooseColumns(columns, std::getenv("COLUMNS"));
}

namespace {

// The length of the escape sequence at text[i] ("\033[...X"), 0 when none starts there.
size_t EscapeLength(const std::string& text, size_t i) {
    if (text[i] != '\033' || i + 1 >= text.size() || text[i + 1] != '[') return 0;
    size_t j = i + 2;
    while (j < text.size() && !(text[j] >= '@' && text[j] <= '~')) ++j;
    return j < text.size() ? j + 1 - i : text.size() - i;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The byte length of the first `cells` characters of text, escape sequences riding along free;
// `fits` tells whether the whole text took no more cells.
size_t PrefixBytes(const std::string& text, size_t cells, bool& fits) {
    size_t used = 0, i = 0;
    while (i < text.size()) {
        if (size_t esc = EscapeLength(text, i)) {
            i += esc;
            continue;
        }
        if (used == cells) break;
        ++used;
        ++i;
        while (i < text.size() && IsContinuationByte(text[i])) ++i;
    }
    fits = i == text.size();
    return i;
}

bool HasEscape(const std::string& text) { return text.find('\033') != std::string::npos; }

}  // namespace

std::string CutToWidth(const std::string& text, int columns) {
    if (columns <= 0) return std::string();
    bool fits = false;
    PrefixBytes(text, size_t(columns), fits);
    if (fits) return text;
    size_t keep = columns > 3 ? size_t(columns) - 3 : size_t(columns);
    std::string out = text.substr(0, PrefixBytes(text, keep, fits));
    if (HasEscape(out)) out += "\033[0m";  // a colour cut in half ends here
    if (columns > 3) out += "...";
    return out;
}

bool UseColour(bool terminal, const char* noColorEnv, const char* termEnv) {
    if (!terminal) return false;
    if (noColorEnv && *noColorEnv) return false;
    return !(termEnv && std::strcmp(termEnv, "dumb") == 0);
}

bool UseColourOn(int fd) { return UseColour(isatty(fd) == 1, std::getenv("NO_COLOR"), std::getenv("TERM")); }

std::string Paint(const std::string& word, ETone tone, bool colour) {
    if (!colour || word.empty()) return word;
    const char* code = tone == ETone::Good ? "\033[32m" : tone == ETone::Bad ? "\033[31m" : "\033[33m";
    return code + word + "\033[0m";
}

size_t EditDistance(const std::string& a, const std::string& b) {
    // The optimal string alignment distance: Levenshtein plus the swap, the commonest slip.
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::vector<std::string> ClosestNames(const std::string& typed, const std::vector<std::string>& known) {
    // Dashes say what kind of name it is, not what was meant: "--fodler" is as far from
    // "--folder" as "fodler" from "folder".
    auto bare = [](const std::string& s) { return s.substr(std::min(s.find_first_not_of('-'), s.size())); };
    std::string word = bare(typed);
    std::vector<std::string> out;
    if (word.size() < 2) return out;  // one letter is one edit from every other
    size_t limit = std::clamp<size_t>(word.size() / 3, 1, 3);
    size_t best = limit + 1;
    for (const std::string& name : known) {
        if (bare(name).size() < 2) continue;
        size_t d = EditDistance(word, bare(name));
        if (d > limit || d > best || name == typed) continue;
        if (d < best) out.clear();
        best = d;
        if (std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
    }
    return out;
}

std::string DidYouMean(const std::string& typed, const std::vector<std::string>& known) {
    std::vector<std::string> names = ClosestNames(typed, known);
    if (names.empty()) return std::string();
    std::string out = "did you mean ";
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return out + "?";
}

bool CPlainPace::Due(bool force) {
    uint32_t now = GetTickCount();
    if (!force && started_ && now - last_ < kPlainProgressMs) return false;
    started_ = true;
    last_ = now;
    return true;
}

void CPlainPace::Restart() {
    started_ = true;
    last_ = GetTickCount();
}

CProgressLine::CProgressLine(int fd)
    : fd_(fd), out_(fd == STDOUT_FILENO ? std::cout : std::cerr), live_(isatty(fd) == 1) {}

int CProgressLine::Columns() const { return TerminalColumnsOf(fd_) - 1; }

void CProgressLine::Show(const std::string& line, bool force) {
    if (!live_) {
        if (pace_.Due(force)) out_ << line << "\n" << std::flush;
        return;
    }
    // Back to the start of the line and over it, so the old line never flickers away first.
    if (linesAbove_) Clear();
    out_ << "\r" << CutToWidth(line, Columns()) << "\033[K" << std::flush;
    onLine_ = true;
}

void CProgressLine::ShowLines(const std::vector<std::string>& lines) {
    if (!live_) return;
    Clear();
    int columns = Columns();
    for (const std::string& line : lines) out_ << CutToWidth(line, columns) << "\033[K\n";
    linesAbove_ = int(lines.size());
    out_.flush();
}

void CProgressLine::Clear() {
    if (!live_ || (!onLine_ && !linesAbove_)) return;
    if (onLine_) out_ << "\r\033[K";
    if (linesAbove_) out_ << "\033[" << linesAbove_ << "A\r\033[J";
    onLine_ = false;
    linesAbove_ = 0;
    out_.flush();
}

}  // namespace plover::cli
