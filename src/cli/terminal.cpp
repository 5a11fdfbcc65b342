#include "cli/terminal.h"

#include "cli/cli_kit.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <strings.h>

namespace plover::cli {

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }
bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

int TerminalColumns() { return TerminalColumnsOf(STDOUT_FILENO); }

namespace {

// Turns echo off for the life of the object (a secret answer).
class CNoEcho {
public:
    explicit CNoEcho(bool active) {
        if (active && tcgetattr(STDIN_FILENO, &old_) == 0) {
            termios t = old_;
            t.c_lflag &= ~tcflag_t(ECHO);
            active_ = tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0;
        }
    }
    ~CNoEcho() {
        if (active_) {
            tcsetattr(STDIN_FILENO, TCSANOW, &old_);
            std::fputs("\n", stderr);
        }
    }

private:
    termios old_{};
    bool active_ = false;
};

}  // namespace

std::optional<std::string> AskLine(const std::string& prompt, bool secret, const std::function<bool()>& cancelled) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    CNoEcho noEcho(secret);
    std::string line;
    for (;;) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        int r = poll(&p, 1, 200);
        if (cancelled && cancelled()) return std::nullopt;
        if (r <= 0) continue;
        char c;
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n <= 0) return std::nullopt;
        if (c == '\n') return line;
        if (c != '\r') line += c;
    }
}

bool AskYesNo(const std::string& prompt, const std::function<bool()>& cancelled) {
    auto answer = AskLine(prompt, false, cancelled);
    if (!answer) return false;
    return strcasecmp(answer->c_str(), "y") == 0 || strcasecmp(answer->c_str(), "yes") == 0;
}

CTerminalListProgress::CTerminalListProgress() : active_(isatty(STDERR_FILENO) == 1) {
    if (active_) SetListProgress(this);
}

CTerminalListProgress::~CTerminalListProgress() {
    if (active_) SetListProgress(nullptr);
}

void CTerminalListProgress::Begin(uint32_t steps, const char* text) {
    text_ = text ? text : "";
    steps_ = steps ? steps : 1;
    done_ = 0;
    shown_ = -1;
}

void CTerminalListProgress::Step() {
    int percent = int(uint64_t(++done_) * 100 / steps_);
    if (percent == shown_) return;
    shown_ = percent;
    std::fprintf(stderr, "\r%s %d%%", text_.c_str(), percent);
    std::fflush(stderr);
}

void CTerminalListProgress::End() {
    if (shown_ >= 0) std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

}  // namespace plover::cli
