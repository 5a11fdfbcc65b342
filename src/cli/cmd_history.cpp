// plover history [--json] [ADDRESS|PATH]: the download history, one entry a line: the file and
// the address it came from ("(gone)" after a file that is no longer there). An address shows its
// entry; a path shows the entry of that file, or every entry below that folder. It only reads the
// history file, which is always saved whole, so it works while another Plover of the home runs.
//
// plover history forget PATH...: forgets the entries of those files (or of every file below a
// folder); the files stay. This changes the history, so it runs only while no other Plover of the
// home does (that one would write its own history over the change when it ends).
#include <cstring>
#include <filesystem>
#include <iostream>

#include "baskets/db_file.h"
#include "baskets/download_db.h"
#include "baskets/history_parts.h"
#include "cli/app_session.h"
#include "cli/cli_kit.h"
#include "cli/command.h"
#include "cli/json_lines.h"
#include "download/url_name.h"
#include "platform/file_io.h"

namespace plover::cli {
namespace {

namespace fs = std::filesystem;

struct SHistoryOptions {
    bool json = false;
    std::string which;               // ADDRESS or PATH; empty: all
    std::vector<std::string> paths;  // forget
};

constexpr uint64_t kMaxHistoryBytes = 1ull << 30;

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    std::string out = (ec ? fs::path(path) : p).lexically_normal().string();
    if (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

bool IsAddress(const std::string& text) { return text.find("://") != std::string::npos; }

// Whether an entry is one that `which` asks for (all when it is empty).
bool Wanted(const std::string& which, const std::string& address, const std::string& path) {
    if (which.empty()) return true;
    if (IsAddress(which)) return address == which || AddressWithoutPassword(address) == AddressWithoutPassword(which);
    std::string asked = AbsolutePath(which);
    return path == asked || IsPathUnderFolder(path, asked);
}

void Show(CliContext& ctx, const SHistoryOptions& options) {
    CCliApp app(ctx);
    if (!app.Start(CCliApp::kReadOnly)) return;
    const std::string file = DownloadDBPath();
    std::string bytes;
    std::vector<std::string> addresses, paths;
    int err = ReadWholeFile(file, &bytes, kMaxHistoryBytes);
    if (err != 0 && err != ENOENT) {
        Complain() << "cannot read the download history " << file << ": " << std::strerror(err) << "\n";
        ctx.exitCode = 1;
        return;
    }
    if (err == 0) {
        EDownloadDBRead read = DecodeDownloadDB(bytes, addresses, paths);
        if (read != EDownloadDBRead::Loaded) {
            Complain() << "the download history " << file << " is damaged (" << DownloadDBReadText(read)
                       << "); it is kept aside when Plover next starts.\n";
            ctx.exitCode = 1;
            return;
        }
    }
    size_t shown = 0;
    for (size_t i = 0; i < addresses.size() && i < paths.size(); ++i) {
        if (!Wanted(options.which, addresses[i], paths[i])) continue;
        ++shown;
        std::error_code ec;
        bool exists = fs::exists(paths[i], ec);
        std::string address = AddressWithoutPassword(addresses[i]);
        if (options.json)
            WriteJsonLine(std::cout, {{"type", "history"}, {"url", address}, {"path", paths[i]}, {"exists", exists}});
        else
            std::cout << paths[i] << (exists ? "" : " (gone)") << "  " << address << "\n";
    }
    if (shown == 0 && !options.json) {
        if (options.which.empty())
            std::cout << "The download history is empty.\n";
        else
            std::cout << "The download history knows nothing of " << options.which << ".\n";
    }
}

void Forget(CliContext& ctx, const SHistoryOptions& options) {
    CCliApp app(ctx);
    if (!app.Start()) {
        if (app.OtherIsRunning())
            Complain() << "the download history is in use by the Plover that runs; forget entries when it has "
                          "ended (plover history only shows them meanwhile)\n";
        return;
    }
    LoadDownloadHistory();
    CDownloadDB& db = GetDownloadDB();
    std::vector<std::string> forget;
    for (const std::string& given : options.paths) {
        std::string path = AbsolutePath(given);
        size_t before = forget.size();
        for (auto& [address, known] : db.Entries())
            if (known == path || IsPathUnderFolder(known, path)) forget.push_back(known);
        if (forget.size() == before) {
            Complain() << "the download history has no entry for " << path << "\n";
            ctx.exitCode = 1;
        }
    }
    if (!forget.empty()) db.ForgetPaths(forget);
    for (const std::string& path : forget) {
        if (options.json)
            WriteJsonLine(std::cout, {{"type", "history"}, {"path", path}, {"action", "forgotten"}});
        else
            std::cout << "Forgot " << path << "\n";
    }
    if (!SaveDownloadHistory()) ctx.exitCode = 1;
}

void Setup(CLI::App& app, CliContext& ctx) {
    auto options = std::make_shared<SHistoryOptions>();
    auto* cmd = app.add_subcommand("history", "Show the download history: which address each file came from");
    cmd->add_option("ADDRESS|PATH", options->which, "Only this address, this file or the files below this folder");
    cmd->add_flag("--json", options->json, "One JSON object a line");
    cmd->require_subcommand(0, 1);
    auto* forget = cmd->add_subcommand("forget", "Forget the entries of files (or of every file below a folder)");
    forget->add_option("PATH", options->paths, "Files or folders")->required();
    forget->add_flag("--json", options->json, "One JSON object a line for each forgotten entry");
    forget->callback([options, &ctx] { Forget(ctx, *options); });
    cmd->callback([options, cmd, &ctx] {
        if (cmd->get_subcommands().empty()) Show(ctx, *options);
    });
}

CommandRegistrar registrar("history", Setup);

}  // namespace
}  // namespace plover::cli
