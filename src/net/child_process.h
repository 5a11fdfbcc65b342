#pragma once
// Running a system program and reading what it prints, with a bound on the time it may take: the
// dialer's way of talking to NetworkManager. The child gets /dev/null as input and the C locale
// (so its words are not translated); its standard output and error are captured. It is ended
// (SIGTERM, then SIGKILL) when the time is up or when the cancel handle becomes signalled.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/event.h"

namespace plover {

struct SChildResult {
    bool started = false;
    bool timedOut = false;  // ended by the time limit
    bool cancelled = false; // ended by the cancel handle
    int exitCode = -1;      // the exit status; -1 when it did not exit normally
    std::string out;
    std::string err;

    bool Succeeded() const { return started && !timedOut && !cancelled && exitCode == 0; }
};

// argv[0] is a path or a name found on PATH.
SChildResult RunChild(const std::vector<std::string>& argv, uint32_t timeoutMs, Handle cancel = kNoHandle);

// The full path of an executable program found on PATH; empty when there is none.
std::string FindOnPath(const std::string& name);

}  // namespace plover
