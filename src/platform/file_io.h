#pragma once
// Whole-file reads and writes, and the one way Plover replaces a stored file: the new content goes
// to a temporary file beside the old one, is flushed to disk and renamed over it, so after a
// crash or a full disk the previous file is still whole.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

// Writes all of `bytes` to `fd`, going on after short writes and interrupted calls. False on an
// error (errno tells which).
bool WriteAll(int fd, std::string_view bytes);

// Reads the whole file into *out (replacing what it held). 0, or an errno value: the open or read
// failed, EFBIG when the file holds more than `maxBytes`, EISDIR/EINVAL for what is not a file.
int ReadWholeFile(const std::string& path, std::string* out, uint64_t maxBytes = UINT64_MAX);

struct SSaveOptions {
    mode_t mode = 0600;    // the new file's mode whatever the old one had
    bool durable = true;   // flush the file and its folder to disk (a cache may skip it)
};

// Replaces `path` with `bytes` as above. On failure the old file is untouched, no temporary file
// is left behind, and *error (when given) says why in a line for the user.
bool SaveFileAtomically(const std::string& path, std::string_view bytes, const SSaveOptions& options = {},
                        std::string* error = nullptr);

}  // namespace plover
