#pragma once
// Small terminal helpers of the command line: whether standard streams are terminals, the width
// of the terminal, and questions asked on it. A question gives up (returns nothing) at the end of
// input or when `cancelled` says so while it waits, so that Ctrl-C during a question still takes
// the orderly way out.
#include <atomic>
#include <functional>
#include <optional>
#include <string>

#include "download/download_list.h"

namespace plover::cli {

bool StdoutIsTerminal();
bool StdinIsTerminal();
int TerminalColumns();  // of standard output: the terminal's, else COLUMNS, else 80

// Writes prompt to standard error and reads one line from standard input (without echo when
// `secret`). Nothing at the end of input or when cancelled() turned true.
std::optional<std::string> AskLine(const std::string& prompt, bool secret,
                                   const std::function<bool()>& cancelled);
// "y"/"yes" (any case) is yes; anything else, the end of input or a cancel is no.
bool AskYesNo(const std::string& prompt, const std::function<bool()>& cancelled);

// Shows the loading of a long download list on standard error while that is a terminal
// ("Loading download list 45%"); silent otherwise. Installed for the life of the object.
class CTerminalListProgress final : public IListProgress {
public:
    CTerminalListProgress();
    ~CTerminalListProgress();
    void Begin(uint32_t steps, const char* text) override;
    void Step() override;
    void End() override;

private:
    bool active_;
    std::string text_;
    uint32_t steps_ = 0;
    std::atomic<uint32_t> done_{0};
    int shown_ = -1;
};

}  // namespace plover::cli
