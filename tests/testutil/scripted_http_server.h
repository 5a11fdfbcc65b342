#pragma once
// A tiny HTTP server of a test's own on 127.0.0.1, for answers no real server gives: for each
// connection it reads the request up to its empty line, asks the test's script for the bytes to
// send, sends them and closes the connection. It counts the requests, so that a test can show
// that a client did not ask again and again.
//
//   ScriptedHttpServer server([](const std::string& request, int index) {
//       return std::string("HTTP/1.0 302 Found\r\n\r\n");  // "" closes without a reply
//   });
//   std::string url = server.Url("/x.bin");
//   server.Requests();     // how many requests came
//   server.RequestLine(0); // "GET /x.bin HTTP/1.0"
//
// Connections are served one after the other on the server's own thread; the destructor stops it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plover::test {

class ScriptedHttpServer {
public:
    // The reply to the request text (the header, without its empty line) that came index-th (0 first).
    using Script = std::function<std::string(const std::string& request, int index)>;

    explicit ScriptedHttpServer(Script script);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    uint16_t Port() const { return port_; }
    // "http://127.0.0.1:PORT" followed by path.
    std::string Url(const std::string& path) const;
    int Requests() const;
    std::string RequestLine(int index) const;
    // A request header's value ("" when absent), e.g. Header(0, "Host").
    std::string Header(int index, const std::string& name) const;

private:
    void Serve();
    void Answer(int connection);

    Script script_;
    int listen_ = -1;
    int stop_[2] = {-1, -1};
    uint16_t port_ = 0;
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace plover::test
