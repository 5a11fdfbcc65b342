#include "web/external_viewer.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "app/settings.h"
#include "web/allowed_paths.h"
#include "web/utf8_text.h"

extern char** environ;

namespace plover::web {

SApiAnswer OpenInExternalViewer(const std::vector<std::string>& roots, const nlohmann::json& body) {
    if (!body.contains("path") || !body["path"].is_string()) return ApiError(400, "\"path\" must be a text.");
    std::string program = GetSettings().csExternalViewer;
    if (program.empty()) return ApiError(409, "No external viewer is set.");
    std::string path = body["path"].get<std::string>(), resolved;
    if (!ResolveAllowed(path, roots, EPathUse::Read, resolved)) return ApiError(403, "Not a picture of a basket or a preview.");
    // "$0" is the program and "$1" the picture: neither is ever read as shell text.
    const char* argv[] = {"/bin/sh", "-c", "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &", program.c_str(), resolved.c_str(),
                          nullptr};
    pid_t pid;
    int error = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ);
    if (error != 0) return ApiError(500, "The external viewer could not be started.");
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return {200, {{"program", ValidUtf8(program)}, {"path", ValidUtf8(resolved)}}};
}

}  // namespace plover::web
