#include "net/proxy_check.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>

namespace plover {

// What the check thread and its starter share: the window, until the check is cancelled.
struct CProxyCheck::SShared {
    std::mutex lock;
    HWND window = nullptr;

    void Post(uint32_t msg, WPARAM wp) {
        std::lock_guard guard(lock);
        if (window) PostMessage(window, msg, wp, 0);
    }
};

const char* ProxyCheckResultText(uint32_t result) {
    return result == PROXY_CHECK_CONNECTED ? kProxyApproved : kProxyNotFound;
}

namespace {

bool LookUp(const std::string& host, in_addr& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &answer) != 0 || !answer) return false;
    out = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr;
    freeaddrinfo(answer);
    return true;
}

uint32_t Connect(int fd, const std::string& address, int32_t port, void (*status)(void*, const char*), void* ctx) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) {
        if (status) status(ctx, kProxyStatusLooking);
        if (address.empty() || !LookUp(address, to.sin_addr)) return PROXY_CHECK_NOT_FOUND;
    }
    if (status) status(ctx, kProxyStatusConnecting);
    int r;
    do {
        r = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (r != 0 && errno == EINTR);
    return r == 0 ? PROXY_CHECK_CONNECTED : PROXY_CHECK_CONNECT_FAILED;
}

}  // namespace

uint32_t RunProxyCheck(const std::string& address, int32_t port, void (*status)(void*, const char*), void* ctx) {
    if (port < 0 || port > 65535) return PROXY_CHECK_CONNECT_FAILED;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return PROXY_CHECK_NO_SOCKET;
    uint32_t result = Connect(fd, address, port, status, ctx);
    close(fd);
    return result;
}

bool CProxyCheck::Start(const std::string& address, int32_t port, HWND window) {
    Cancel();
    auto shared = std::make_shared<SShared>();
    shared->window = window;
    auto statusToWindow = [](void* ctx, const char* text) {
        static_cast<SShared*>(ctx)->Post(WM_PV_PROXY_CHECK_STATUS, reinterpret_cast<WPARAM>(text));
    };
    try {
        std::thread([shared, address, port, statusToWindow] {
            uint32_t result = RunProxyCheck(address, port, statusToWindow, shared.get());
            shared->Post(WM_PV_PROXY_CHECK_RESULT, result);
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    shared_ = std::move(shared);
    return true;
}

void CProxyCheck::Cancel() {
    std::shared_ptr<SShared> shared = std::move(shared_);
    if (!shared) return;
    std::lock_guard guard(shared->lock);
    shared->window = nullptr;
}

}  // namespace plover
