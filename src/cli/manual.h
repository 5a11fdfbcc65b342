#pragma once
// The manual page and the shell completions of the plover command, made from its command
// definitions, so that neither ever tells of a command or option that is not there.
//
//   plover manual                 the page (troff), e.g. plover manual | man -l -
//   plover completion bash|zsh    the completion script
//
// plover install writes all three under the user's data folder (see InstallManualAndCompletions).
#include <filesystem>
#include <string>
#include <vector>

#include "cli/command.h"

namespace plover::cli {

// The visible commands below `app` (nested ones as "basket list"), in the order of --help.
std::vector<std::string> CommandPaths(const CLI::App& app);

std::string ManualPage(const CLI::App& root);
std::string BashCompletion(const CLI::App& root);
std::string ZshCompletion(const CLI::App& root);

// Writes man/man1/plover.1, bash-completion/completions/plover and zsh/site-functions/_plover
// under shareDir (the folders where man and the shells look in ~/.local/share); prints each
// file written. False (said why) when one cannot be written.
bool InstallManualAndCompletions(const CLI::App& root, const std::filesystem::path& shareDir);

}  // namespace plover::cli
