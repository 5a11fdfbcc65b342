#pragma once
// The process-wide list of FTP workers that are logged in, with the server each one logged in to.
// It answers one question: is some other worker of this program logged in to a server? A login
// refused with 530 while that is so is taken as the server's limit on users, not as a wrong login.
//
// A worker enters itself when the server accepts its login and leaves when it stops or is torn
// down. Workers are keys only (never called through the list), so the list holds no references
// and a worker can never be kept alive by it. The list has its own lock: workers of different
// threads (tests, and any future delivery thread) may use it at once.
#include <string>

namespace plover {

void FtpLoginEnter(const void* worker, const std::string& server);
void FtpLoginLeave(const void* worker);
// Whether a worker other than `except` is logged in to `server` (compared without regard to case).
bool FtpLoginOtherOn(const std::string& server, const void* except);

}  // namespace plover
