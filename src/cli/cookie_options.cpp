#include "cli/cookie_options.h"

#include <iostream>

#include "app/settings.h"
#include "cli/cli_kit.h"
#include "download/request_identity.h"

namespace plover::cli {

void AddCookieOptions(CLI::App* cmd, SCookieCliOptions& options) {
    cmd->add_option("--cookies", options.file, "Send the cookies of FILE (Netscape cookies.txt) where they belong")
        ->type_name("FILE");
    cmd->add_flag("--save-cookies", options.save,
                  "Write the cookies back to that file (or the setting csCookieFile) at the end, with those servers set");
}

bool ApplyCookieOptions(const SCookieCliOptions& options) {
    if (options.file.empty()) return true;
    std::string error;
    if (LoadRunCookieFile(options.file, &error)) return true;
    Complain() << error << "\n";
    return false;
}

bool SaveCookiesAsAsked(const SCookieCliOptions& options) {
    if (!options.save) return true;
    std::string path = options.file.empty() ? GetSettings().csCookieFile : options.file;
    if (path.empty()) {
        Complain() << "--save-cookies: no cookie file (give --cookies FILE or set csCookieFile)\n";
        return false;
    }
    std::string error;
    if (!SaveRunCookieFile(path, &error)) {
        Complain() << "cannot save the cookies to " << path << ": " << error << "\n";
        return false;
    }
    return true;
}

void WarnCookiesStayHere(const SCookieCliOptions& options) {
    if (!options.file.empty() || options.save)
        std::cerr << "Note: the running Plover uses its own cookies (the setting csCookieFile); --cookies and "
                     "--save-cookies apply to a run of this command alone.\n";
}

}  // namespace plover::cli
