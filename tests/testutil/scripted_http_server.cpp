#include "testutil/scripted_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <stdexcept>

namespace plover::test {
namespace {

constexpr int kReadTimeoutMs = 10000;  // a client that sends nothing does not hold the server for ever

}  // namespace

ScriptedHttpServer::ScriptedHttpServer(Script script) : script_(std::move(script)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 64) != 0 || ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(stop_, O_CLOEXEC) != 0)
        throw std::runtime_error("the scripted server cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    if (stop_[1] >= 0) (void)!::write(stop_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    for (int fd : {listen_, stop_[0], stop_[1]})
        if (fd >= 0) ::close(fd);
}

std::string ScriptedHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int ScriptedHttpServer::Requests() const {
    std::lock_guard guard(lock_);
    return int(requests_.size());
}

std::string ScriptedHttpServer::RequestLine(int index) const {
    std::lock_guard guard(lock_);
    if (index < 0 || size_t(index) >= requests_.size()) return {};
    const std::string& r = requests_[size_t(index)];
    return r.substr(0, r.find("\r\n"));
}

std::string ScriptedHttpServer::Header(int index, const std::string& name) const {
    std::string request;
    {
        std::lock_guard guard(lock_);
        if (index < 0 || size_t(index) >= requests_.size()) return {};
        request = requests_[size_t(index)];
    }
    std::istringstream in(request);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0 &&
            line[name.size()] == ':')
            return line.substr(line.find_first_not_of(' ', name.size() + 1));
    }
    return {};
}

void ScriptedHttpServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listen_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        int connection = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        Answer(connection);
        ::close(connection);
    }
}

void ScriptedHttpServer::Answer(int connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd fd{connection, POLLIN, 0};
        if (::poll(&fd, 1, kReadTimeoutMs) <= 0) return;
        ssize_t n = ::read(connection, buffer, sizeof buffer);
        if (n <= 0) return;
        request.append(buffer, size_t(n));
    }
    request.resize(request.find("\r\n\r\n"));
    int index;
    {
        std::lock_guard guard(lock_);
        index = int(requests_.size());
        requests_.push_back(request);
    }
    std::string reply = script_(request, index);
    for (size_t sent = 0; sent < reply.size();) {
        ssize_t n = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += size_t(n);
    }
    ::shutdown(connection, SHUT_WR);
    // Let the client read to the end before the connection goes (no reset over unread data).
    pollfd fd{connection, POLLIN, 0};
    while (::poll(&fd, 1, 2000) > 0 && ::read(connection, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace plover::test
