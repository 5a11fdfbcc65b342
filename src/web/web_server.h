#pragma once
// CWebServer: the HTTP server of the web front end (cpp-httplib). It serves the page's files,
// the windows' layout trees, the JSON commands and the event stream, and refuses every request
// that lacks the token, names a foreign Host or comes from a foreign Origin (request_guard.h).
// Every answer carries a Content-Security-Policy that allows only the server's own scripts,
// styles and connections.
//
// Threads: the listener and its pool of request threads, plus one pump thread that calls
// CWebModel::Pump every 100 ms. An event stream holds one request thread while it is open.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/event_hub.h"
#include "web/web_model.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}

namespace plover::web {

struct SWebServerConfig {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: any free port
    std::string token;
    int threads = 64;  // request threads; each open event stream holds one
    bool pages = true;  // the windows' pages and files; off: the API alone
};

class CWebServer {
public:
    CWebServer(CWebModel& model, CEventHub& hub, SWebServerConfig config, std::function<void()> onExit);
    ~CWebServer();
    CWebServer(const CWebServer&) = delete;
    CWebServer& operator=(const CWebServer&) = delete;

    // Routes of another part of the front end, installed after the server's own when it starts.
    void AddRoutes(std::function<void(httplib::Server&)> install) { installers_.push_back(std::move(install)); }

    // Binds and starts listening; false with a reason when the address cannot be taken.
    bool Start(std::string* error);
    // Ends the event streams, the listener and the pump; waits for their threads.
    void Stop();

    // The first-run wizard's and the uninstallation's commands (before Start; none without).
    void SetSetup(class CSetupApi* setup) { setup_ = setup; }

    // Jobs that other commands of the home hand to the running program (`plover collect`,
    // `plover basket drop`): start(body with its "kind", status) answers {"job": ID}, state(ID,
    // status) the job's progress.
    using JobStart = std::function<nlohmann::json(const nlohmann::json&, int&)>;
    using JobState = std::function<nlohmann::json(int, int&)>;
    void SetJobs(JobStart start, JobState state) {
        jobStart_ = std::move(start);
        jobState_ = std::move(state);
    }

    int Port() const { return port_; }
    // The HTTP server, for the parts of the front end that add routes of their own before Start.
    httplib::Server& Http() { return *server_; }
    // "http://HOST:PORT/?token=TOKEN", the address to open.
    std::string Url() const;

private:
    void Routes();
    // False when the request is refused (the answer is then set).
    bool Allowed(const httplib::Request& req, httplib::Response& res);

    CWebModel& model_;
    CEventHub& hub_;
    SWebServerConfig config_;
    std::function<void()> onExit_;
    std::unique_ptr<httplib::Server> server_;
    std::vector<std::string> hosts_;
    std::vector<std::function<void(httplib::Server&)>> installers_;
    int port_ = 0;
    CSetupApi* setup_ = nullptr;
    JobStart jobStart_;
    JobState jobState_;
    std::thread listener_, pump_;
    std::atomic<bool> stopping_{false};
};

}  // namespace plover::web
