#include "net_test_util.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/tick.h"

namespace plover::test {

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        SleepMs(2);
    }
    return true;
}

HRESULT CRecordingSink::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_ISockAdviseSink) {
        *out = static_cast<ISockAdviseSink*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

void CRecordingSink::Add(ISocket*, const std::string& line) {
    if (expectedThread != std::thread::id() && std::this_thread::get_id() != expectedThread) wrongThread = true;
    std::lock_guard guard(lock_);
    lines_.push_back(line);
}

bool CRecordingSink::OnConnect(ISocket* s, bool success) {
    Add(s, success ? "connect 1" : "connect 0");
    return true;
}

bool CRecordingSink::OnAccept(ISocket* s) {
    Add(s, "accept");
    if (onAccept) onAccept(s);
    return true;
}

bool CRecordingSink::OnClose(ISocket* s) {
    receivedAtClose = received_;
    Add(s, "close");
    return true;
}

bool CRecordingSink::OnReady(ISocket* s) {
    Add(s, "ready");
    return true;
}

bool CRecordingSink::OnReceive(ISocket* s, const uint8_t* data, uint32_t length) {
    uint64_t at = received_;
    if (checkPattern) {
        for (uint32_t i = 0; i < length; ++i)
            if (data[i] != PatternByte(at + i)) patternBroken = true;
    }
    {
        std::lock_guard guard(lock_);
        if (!checkPattern) data_.append(reinterpret_cast<const char*>(data), length);
        sizes_.push_back(length);
    }
    received_ += length;
    Add(s, "receive");
    return true;
}

bool CRecordingSink::OnError(ISocket* s, uint32_t code) {
    Add(s, "error " + std::to_string(code));
    return true;
}

std::vector<std::string> CRecordingSink::Lines() const {
    std::lock_guard guard(lock_);
    return lines_;
}

bool CRecordingSink::Has(const std::string& line) const { return Count(line) > 0; }

size_t CRecordingSink::Count(const std::string& line) const {
    std::lock_guard guard(lock_);
    return size_t(std::count(lines_.begin(), lines_.end(), line));
}

std::string CRecordingSink::Data() const {
    std::lock_guard guard(lock_);
    return data_;
}

std::vector<uint32_t> CRecordingSink::ReadSizes() const {
    std::lock_guard guard(lock_);
    return sizes_;
}

SOCKADDR_IN LoopbackAddress(uint16_t port) {
    SOCKADDR_IN a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int ListenLoopback(uint16_t* port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    SOCKADDR_IN a = LoopbackAddress(0);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return -1;
    *port = ntohs(a.sin_port);
    return fd;
}


std::thread ServeOnce(int listener, uint64_t total, std::string text) {
    return std::thread([listener, total, text] {
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) return;
        if (!text.empty()) {
            [[maybe_unused]] ssize_t n = send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        }
        std::vector<uint8_t> block(1 << 16);
        for (uint64_t sent = 0; sent < total;) {
            size_t n = size_t(std::min<uint64_t>(block.size(), total - sent));
            for (size_t i = 0; i < n; ++i) block[i] = PatternByte(sent + i);
            ssize_t w = send(fd, block.data(), n, MSG_NOSIGNAL);
            if (w <= 0) break;
            sent += uint64_t(w);
        }
        close(fd);
    });
}

}  // namespace plover::test
