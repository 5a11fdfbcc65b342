#pragma once
// Small terminal helpers of the command line: whether standard streams are terminals, the width
// of the terminal, and questions asked on it. A question gives up (returns nothing) at the end of
// input or when `cancelled` says so while it waits, so that Ctrl-C during a question still takes
// the orderly way out.
#include <functional>
#include <optional>
#include <string>

namespace plover::cli {

bool StdoutIsTerminal();
bool StdinIsTerminal();
int TerminalColumns();  // 80 when unknown

// Writes prompt to standard error and reads one line from standard input (without echo when
// `secret`). Nothing at the end of input or when cancelled() turned true.
std::optional<std::string> AskLine(const std::string& prompt, bool secret,
                                   const std::function<bool()>& cancelled);
// "y"/"yes" (any case) is yes; anything else, the end of input or a cancel is no.
bool AskYesNo(const std::string& prompt, const std::function<bool()>& cancelled);

}  // namespace plover::cli
