#pragma once
// The check of an HTTP proxy: can a TCP connection be made to it? A check runs on its own
// short-lived thread and tells a window what it is doing (the status texts) and, at the end, its
// result; a cancelled check detaches from its window and posts nothing more.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/window.h"

namespace plover {

enum EProxyCheckResult : uint32_t {
    PROXY_CHECK_CONNECTED = 0,
    PROXY_CHECK_NO_SOCKET = 1,
    PROXY_CHECK_NOT_FOUND = 2,
    PROXY_CHECK_CONNECT_FAILED = 3,
    PROXY_CHECK_CANCELLED = 4,
};

inline constexpr const char* kProxyStatusLooking = "Looking for site";
inline constexpr const char* kProxyStatusConnecting = "Connecting";
inline constexpr const char* kProxyApproved = "Proxy approved successfully";
inline constexpr const char* kProxyNotFound = "Can't find proxy";

// Posted to the check's window: the status (wp = one of the status texts above, a static string)
// and the result (wp = EProxyCheckResult).
constexpr uint32_t WM_PV_PROXY_CHECK_STATUS = WM_APP + 0x310;
constexpr uint32_t WM_PV_PROXY_CHECK_RESULT = WM_APP + 0x311;

// What the check shows for its result: approved for 0, not found for any other.
const char* ProxyCheckResultText(uint32_t result);

// The check itself, blocking; `status` (may be null) hears the status texts. For the thread of
// CProxyCheck and for callers that run it on a thread of their own.
uint32_t RunProxyCheck(const std::string& address, int32_t port, void (*status)(void* ctx, const char* text),
                       void* ctx);

class CProxyCheck {
public:
    CProxyCheck() = default;
    ~CProxyCheck() { Cancel(); }
    CProxyCheck(const CProxyCheck&) = delete;
    CProxyCheck& operator=(const CProxyCheck&) = delete;

    // Starts the check thread; false when no thread could be started.
    bool Start(const std::string& address, int32_t port, HWND window);
    // Detaches the running check: it posts nothing more. The caller ends as with result 4.
    void Cancel();

private:
    struct SShared;
    std::shared_ptr<SShared> shared_;
};

}  // namespace plover
