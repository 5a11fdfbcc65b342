#pragma once
// A downloaded file keeps the time the server says it was last modified (its "Last-Modified"
// header), as other download programs do, so that a folder sorted by date shows the files' own
// age. Pages and small pictures that the page cache keeps are left alone: the cache judges a
// copy's age by the time it was fetched.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plover {

// Seconds since 1970 of an HTTP date in any of its three forms ("Sun, 06 Nov 1994 08:49:37 GMT",
// "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"); nothing when it is none of them.
std::optional<int64_t> ParseHttpDate(std::string_view text);

// Whether a download of this client takes the server's time (not the page manager's, client 4,
// nor a preview's, client 1999).
bool TakesServerFileTime(int32_t clientId);

// Sets the file's modification time to the date; false when the date cannot be read or the
// time cannot be set.
bool SetFileTimeFromHttpDate(const std::string& path, std::string_view lastModified);

}  // namespace plover
