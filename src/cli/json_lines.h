#pragma once
// The --json output of every listing and reporting command: JSON lines, one object a line, each
// with a "type" that says what it describes ("download", "history", "basket", "profile",
// "setting", "site", "cache", "summary", ...), so that one reader takes the output of any command.
#include <nlohmann/json.hpp>

#include <ostream>

#include "download/download_snapshot.h"

namespace plover::cli {

// Writes one object as one line (text that is not UTF-8 is replaced, never refused).
void WriteJsonLine(std::ostream& out, const nlohmann::json& object);

// {"type":"download", "id", "status", "reason", "downloaded", "size", "priority", "client",
//  "path", "url", "tls"}: a download of the list as front ends see it. Addresses are shown
// without their password.
nlohmann::json DownloadJson(const SDownloadSnapshot& s);

}  // namespace plover::cli
