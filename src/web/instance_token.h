#pragma once
// The instance's secret token and the address of the running server, kept in the home's settings
// folder: "ui-token" (mode 0600, made once and kept, so an address the user saved keeps working)
// and "ui-address" (written while the server runs, removed at its end) for other commands to find it.
#include <filesystem>
#include <string>

namespace plover::web {

// 32 random bytes as 64 hex digits (from the kernel's random source).
std::string NewToken();
// The token stored in folder, made and stored (mode 0600) when missing or unreadable; "" when it
// cannot be stored.
std::string LoadOrCreateToken(const std::filesystem::path& folder);
bool WriteAddressFile(const std::filesystem::path& folder, const std::string& url);
void RemoveAddressFile(const std::filesystem::path& folder);

}  // namespace plover::web
