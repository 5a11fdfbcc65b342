#include "run_plover.h"
#include "run_plover_input.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "testutil/temp_dir.h"

extern char** environ;

namespace plover::test {
namespace {

pid_t Spawn(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
            const std::string& in = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::vector<std::string> Command(const std::string& home, const std::vector<std::string>& args) {
    std::vector<std::string> argv{PloverBinary(), "--home", home};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

}  // namespace

std::string PloverBinary() {
#ifdef PLOVER_EXE
    return PLOVER_EXE;  // the build knows where its executable is
#endif
    const char* dir = std::getenv("PLOVER_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/src/cli/plover";
}

SRunResult RunPlover(const std::string& home, const std::vector<std::string>& args) {
    TempDir io;
    std::string out = (io / "out").string(), err = (io / "err").string();
    pid_t pid = Spawn(Command(home, args), out, err);
    int status = 0;
    waitpid(pid, &status, 0);
    return {ExitCodeOf(status), ReadFile(out), ReadFile(err)};
}

SRunResult RunPloverWithInput(const std::string& home, const std::vector<std::string>& args, const std::string& input) {
    TempDir io;
    std::string in = (io / "in").string(), out = (io / "out").string(), err = (io / "err").string();
    WriteFile(in, input);
    pid_t pid = Spawn(Command(home, args), out, err, in);
    int status = 0;
    waitpid(pid, &status, 0);
    return {ExitCodeOf(status), ReadFile(out), ReadFile(err)};
}

CBackgroundPlover::CBackgroundPlover(const std::string& home, const std::vector<std::string>& args,
                                     const std::string& folder)
    : outPath_(folder + "/plover.out"), errPath_(folder + "/plover.err") {
    pid_ = Spawn(Command(home, args), outPath_, errPath_);
}

CBackgroundPlover::~CBackgroundPlover() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string CBackgroundPlover::Output() const { return ReadFile(outPath_); }

void CBackgroundPlover::Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

SRunResult CBackgroundPlover::Wait(int timeoutMs) {
    for (int waited = 0; pid_ > 0 && waited <= timeoutMs; waited += 20) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return {ExitCodeOf(status), ReadFile(outPath_), ReadFile(errPath_)};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {-1, ReadFile(outPath_), ReadFile(errPath_)};
}

std::string Sha256Of(const std::string& path) {
    std::string cmd = "sha256sum '" + path + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    char buf[65] = {};
    size_t n = fread(buf, 1, 64, p);
    pclose(p);
    return n == 64 ? std::string(buf, 64) : std::string();
}

std::string PatternBytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = char(x);
    }
    return s;
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

nlohmann::json LastJsonLine(const std::string& out) {
    std::vector<nlohmann::json> lines = JsonLines(out);
    return lines.empty() ? nlohmann::json() : lines.back();
}

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace plover::test
