#pragma once
// The cookie options of the commands that fetch (get, scan, collect): --cookies FILE reads a
// Netscape cookies.txt file (as browsers' export add-ons, curl and wget write it) for this run in
// place of the setting "csCookieFile"; --save-cookies writes the cookies of the run (the file's
// and those servers set) back to that file when the command ends, atomically.
#include <string>

#include "cli/command.h"

namespace plover::cli {

struct SCookieCliOptions {
    std::string file;
    bool save = false;
};

void AddCookieOptions(CLI::App* cmd, SCookieCliOptions& options);

// Before Plover starts: reads the file into the run's jar. False (said why) when it cannot be
// read: the command ends with status 2.
bool ApplyCookieOptions(const SCookieCliOptions& options);
// When the command ends (the engines stopped): with --save-cookies, writes the jar back to the
// run's file, else to the setting's. False (said why) when that fails or there is no file.
bool SaveCookiesAsAsked(const SCookieCliOptions& options);
// A command handed to a running Plover cannot bring its cookies along: says so when some were given.
void WarnCookiesStayHere(const SCookieCliOptions& options);

}  // namespace plover::cli
