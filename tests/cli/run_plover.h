#pragma once
// Runs the plover command of this build as a user would: in its own home, with its output
// captured, optionally in the background so that a test can interrupt it.
#include <sys/types.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace plover::test {

struct SRunResult {
    int exitCode = -1;   // the exit status, or 128 + signal when killed
    std::string out;     // standard output
    std::string err;     // standard error
};

// The plover binary of this build ($PLOVER_BINARY_DIR/src/cli/plover).
std::string PloverBinary();

// Runs plover with --home home and args; standard input is /dev/null (not a terminal).
SRunResult RunPlover(const std::string& home, const std::vector<std::string>& args);

// A plover run in the background.
class CBackgroundPlover {
public:
    CBackgroundPlover(const std::string& home, const std::vector<std::string>& args, const std::string& folder);
    ~CBackgroundPlover();
    // Standard output so far.
    std::string Output() const;
    void Signal(int sig);
    // Waits for the end (up to timeoutMs) and returns what it did.
    SRunResult Wait(int timeoutMs);

private:
    pid_t pid_ = -1;
    std::string outPath_, errPath_;
};

// "sha256sum" of a file: the 64 hexadecimal digits, or "" when the file cannot be read.
std::string Sha256Of(const std::string& path);

// Bytes that are the same for a given seed, different across offsets: a file of them is easy to
// check and no two sections of it look alike.
std::string PatternBytes(size_t size, uint32_t seed);

// The JSON lines of a --json run, each parsed; LastJsonLine is the last one (the summary).
std::vector<nlohmann::json> JsonLines(const std::string& out);
nlohmann::json LastJsonLine(const std::string& out);

// How often what stands in text (overlapping finds count).
size_t Occurrences(const std::string& text, const std::string& what);

}  // namespace plover::test
