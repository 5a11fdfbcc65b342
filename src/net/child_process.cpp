#include "net/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/tick.h"

extern char** environ;

namespace plover {

namespace {

// How long a child has after SIGTERM before it is killed.
constexpr uint32_t kTermGraceMs = 2000;

// The environment of the child: ours with the C locale.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "LANGUAGE=", 9) != 0) env.emplace_back(*e);
    env.emplace_back("LC_ALL=C");
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

bool WaitExit(pid_t pid, uint32_t ms, int& status) {
    uint32_t start = GetTickCount();
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) return true;
        if (GetTickCount() - start >= ms) return false;
        SleepMs(10);
    }
}

void EndChild(pid_t pid, int& status) {
    kill(pid, SIGTERM);
    if (WaitExit(pid, kTermGraceMs, status)) return;
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

class CPipe {
public:
    CPipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~CPipe() {
        CloseRead();
        CloseWrite();
    }
    bool Ok() const { return fds_[0] >= 0; }
    int Read() const { return fds_[0]; }
    int Write() const { return fds_[1]; }
    void CloseRead() { Close(fds_[0]); }
    void CloseWrite() { Close(fds_[1]); }

private:
    static void Close(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int fds_[2];
};

// Reads both pipes until they close, the time is up or cancel is signalled.
void Collect(CPipe& out, CPipe& err, SChildResult& result, uint32_t timeoutMs, Handle cancel) {
    uint32_t start = GetTickCount();
    char buf[4096];
    while (out.Read() >= 0 || err.Read() >= 0) {
        uint32_t spent = GetTickCount() - start;
        if (spent >= timeoutMs) {
            result.timedOut = true;
            return;
        }
        pollfd p[3] = {{out.Read(), POLLIN, 0}, {err.Read(), POLLIN, 0}, {cancel, POLLIN, 0}};
        int r = poll(p, cancel >= 0 ? 3 : 2, int(timeoutMs - spent));
        if (r < 0 && errno != EINTR) return;
        if (r <= 0) continue;
        if (cancel >= 0 && (p[2].revents & POLLIN)) {
            result.cancelled = true;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || p[i].revents == 0) continue;
            ssize_t n = read(p[i].fd, buf, sizeof buf);
            if (n > 0)
                (i == 0 ? result.out : result.err).append(buf, size_t(n));
            else if (n == 0 || errno != EINTR)
                (i == 0 ? out : err).CloseRead();
        }
    }
}

}  // namespace

std::string FindOnPath(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t from = 0;
    while (from <= dirs.size()) {
        size_t end = dirs.find(':', from);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(from, end - from);
        std::string full = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st {};
        if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return full;
        from = end + 1;
    }
    return {};
}

SChildResult RunChild(const std::vector<std::string>& argv, uint32_t timeoutMs, Handle cancel) {
    SChildResult result;
    if (argv.empty()) return result;
    std::string program = FindOnPath(argv[0]);
    if (program.empty()) return result;
    CPipe out, err;
    if (!out.Ok() || !err.Ok()) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.Write(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.Write(), 2);
    // The child starts with default signal handling and an empty mask, whatever ours are.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> args = argv;
    std::vector<std::string> env = ChildEnvironment();
    std::vector<char*> argp = Pointers(args), envp = Pointers(env);
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, &attr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    out.CloseWrite();
    err.CloseWrite();
    if (spawned != 0) return result;
    result.started = true;

    uint32_t start = GetTickCount();
    Collect(out, err, result, timeoutMs, cancel);
    int status = 0;
    if (result.timedOut || result.cancelled) {
        EndChild(pid, status);
        return result;
    }
    // The pipes have closed; the child is ending (or left them to a child of its own).
    uint32_t spent = GetTickCount() - start;
    if (!WaitExit(pid, timeoutMs > spent ? timeoutMs - spent : 1, status)) {
        result.timedOut = true;
        EndChild(pid, status);
        return result;
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

}  // namespace plover
