#pragma once
// The address rules of a download, as pure functions so they can be tested as tables:
//  - percent-decoding ("%" and two hexadecimal digits become that byte);
//  - the file name derived from an address (name and extension from the last ".", with the cut
//    rule for names that hold characters a file name cannot have);
//  - safe file names: a name that came from a server or from a decoded address never leaves the
//    target folder (no path separators, never "." or "..", no control characters) and never
//    holds "|", which the list file cannot store;
//  - the rebuilt address "scheme://[user@]server[:port]object" (a password lives only in the
//    download's login, never in an address that is stored or shown);
//  - the address a redirect location leads to;
//  - "|" written as "%7C" (and control bytes as "%XX") in addresses, so that an address can
//    always be stored.
#include <cstdint>
#include <string>
#include <string_view>

#include "download/download_config.h"

namespace plover {

// "%41" becomes "A"; a "%" not followed by two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text);

// The file name the path part of an address gives (query and fragment are not part of it):
// the text after the last "/" or "\", split into name and extension at its last ".". Empty
// when no name can be derived.
std::string DeriveFileName(std::string_view object);

// A name that is safe as a file in the target folder: only the text after the last "/" or "\"
// is kept, control characters are dropped and "|" becomes "_"; "." and ".." and names that end
// up empty give an empty result (no name). A name longer than a file system takes is shortened
// (FitFileName with kMaxFileNameBytes).
std::string MakeSafeFileName(std::string_view name);

// The longest file name, in bytes, that the usual Linux file systems take (NAME_MAX).
inline constexpr size_t kMaxFileNameBytes = 255;
// The name cut to at most maxBytes bytes, keeping its extension (from the last ".") when that
// leaves room for a name before it; never cut inside a UTF-8 character.
std::string FitFileName(std::string_view name, size_t maxBytes);

// The address "%s://%s%s%s" of scheme, login prefix (the user name and "@" when the login is in
// use; never its password), server and object; the port is written (":port") when it is not the
// scheme's default, so that a saved address keeps it.
std::string BuildRemoteUrl(int32_t service, const SLogin& login, std::string_view server, uint16_t port,
                           std::string_view object);

// The schemes a redirect is followed to: http, https and ftp (compared ignoring case).
bool IsFollowedScheme(std::string_view scheme);

// The address a redirect to `location` leads to from a download of `service` at `server` (which
// may carry ":port"): a location with a scheme ("http:", "javascript:", ...) is itself when the
// scheme is followed; "//host/path" takes the current scheme; "/path" or "\path" goes on the same
// server; any other text is a path below the server's root. Empty when the location cannot be
// followed (empty, or a scheme that is not followed).
std::string RedirectTarget(int32_t service, std::string_view server, std::string_view location);

// The address with every "|" written as "%7C" and every control byte as "%XX" (the same address
// for every server), so that it can always be stored in the list file.
std::string StorableAddress(std::string_view address);

// The address without the password of a login written in it ("http://u:pw@h/a" gives
// "http://u@h/a"); any other address is returned as it is.
std::string AddressWithoutPassword(std::string_view address);

// Case-insensitive equality of two ASCII texts.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view text);

}  // namespace plover
