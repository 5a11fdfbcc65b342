// The plain build of the program has no web front end: a command that needs it (`ui`, `run`, or
// any command of a home whose Plover is running, which sends its work there) is handed over to
// plover-web, the same program with the web front end, found beside this one. The hand-over
// replaces this process (same process, same arguments, same environment), so the command runs
// exactly as if plover-web had been started in the first place.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "cli/cli_kit.h"
#include "cli/remote_commands.h"
#include "cli/remote_session.h"
#include "cli/web_front.h"

namespace plover::cli {
namespace {

[[noreturn]] void HandOver() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    std::filesystem::path web = self.parent_path() / "plover-web";
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    if (!error) execv(web.c_str(), ProgramArguments());
    Complain() << "the web front end cannot be started (" << web.string() << ": " << std::strerror(errno) << ")\n";
    std::exit(1);
}

}  // namespace

std::optional<SRunningPlover> FindRunningPlover(const CliContext& ctx) {
    // Whether the recorded address still answers is for plover-web to find out.
    if (ReadRunningAddress(ctx)) HandOver();
    return std::nullopt;
}

void RunUiCommand(CliContext&, const SUiOptions&) { HandOver(); }
void RunServeCommand(CliContext&, bool) { HandOver(); }

// Only a running Plover found above leads to these; this build never finds one.
int RunGetThrough(const SRunningPlover&, const std::vector<std::string>&, const std::string&, int) { HandOver(); }
int RunJobThrough(const SRunningPlover&, const std::string&, nlohmann::json, bool, const std::string&) { HandOver(); }
int RunCollectThrough(const SRunningPlover&, const std::string&, const std::string&, const std::string&, bool, bool,
                      const nlohmann::json&) {
    HandOver();
}
int RunScanThrough(const SRunningPlover&, const SScanOptions&) { HandOver(); }
int RunSettingsListThrough(const SRunningPlover&, bool) { HandOver(); }
int RunSettingsGetThrough(const SRunningPlover&, const std::string&) { HandOver(); }
int RunSettingsSetThrough(const SRunningPlover&, const std::string&, const std::string&) { HandOver(); }
int RunListThrough(const SRunningPlover&, bool) { HandOver(); }
int RunBasketListThrough(const SRunningPlover&, bool) { HandOver(); }
int RunBasketShowThrough(const SRunningPlover&, const std::string&, bool) { HandOver(); }
int RunBasketAddThrough(const SRunningPlover&, const std::string&, const std::string&, bool) { HandOver(); }
int RunBasketEditThrough(const SRunningPlover&, const SBasketEditOptions&) { HandOver(); }
int RunBasketRemoveThrough(const SRunningPlover&, const std::string&, bool) { HandOver(); }
int RunBasketDropThrough(const SRunningPlover&, const std::string&, const std::vector<std::string>&, const std::string&,
                         bool, bool) {
    HandOver();
}
int RunBasketMoveThrough(const SRunningPlover&, const std::vector<std::string>&, const std::string&,
                         const std::string&) {
    HandOver();
}

}  // namespace plover::cli
