#pragma once
// The one rule for a file of the program's own (the download list, the settings, the download
// history) that does not load completely: it is never written over. It is renamed aside, in its
// folder, to "NAME.damaged-YYYYMMDD-HHMMSS" (local time), and when that name is taken to the same
// name with "-2", "-3", ... appended, so that a second damaged file never replaces the copy kept
// of the first. The caller tells the user once, with the warning made here, and goes on with what
// it could read (or with nothing).
#include <ctime>
#include <filesystem>
#include <string>

namespace plover {

// Moves file aside as told above; the new path, or empty with *error when it could not be moved
// (the file is then where it was, and the caller must not write over it).
std::filesystem::path KeepDamagedFileAside(const std::filesystem::path& file, std::string* error = nullptr);

// The name a kept copy of file takes for a stamp time and a number (1: no number).
std::filesystem::path KeptAsideName(const std::filesystem::path& file, std::time_t when, int number);

// The warning for a file that was (or could not be) kept aside:
// "warning: the WHAT FILE is damaged (REASON); it was kept as KEPT and THEN."
// With an empty keptAs: "...; it could not be moved aside (ERROR) and THEN." where THEN should
// then say that the file is not written over.
std::string KeptAsideWarning(const std::string& what, const std::filesystem::path& file, const std::string& reason,
                             const std::filesystem::path& keptAs, const std::string& moveError,
                             const std::string& then);

}  // namespace plover
