#include "web/web_server.h"

#include <httplib.h>

#include <chrono>

#include "app/settings.h"
#include "ui/layout_json.h"
#include "ui/layouts.h"
#include "web/json_routes.h"
#include "web/request_guard.h"
#include "web/options_api.h"
#include "web/setup_api.h"
#include "web/sound_files.h"
#include "web/web_api.h"
#include "web/web_assets.h"

namespace plover::web {
namespace {

constexpr const char* kCsp =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
    "font-src 'self'; frame-src 'self'; media-src 'self'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'";

void SendAsset(httplib::Response& res, const std::string& path) {
    const SWebAsset* a = FindAsset(path);
    if (!a) return SendJson(res, ApiError(404, "Not found."));
    res.set_content(reinterpret_cast<const char*>(a->data), a->size, MimeType(path));
}

constexpr size_t kFreeThreads = 8;

// The query of a page's address without the token ("?url=...&profile=..."), kept when the page
// drops the token from the address bar: /scan?url=... must still name its address.
std::string QueryWithoutToken(const httplib::Request& req) {
    std::string query;
    for (const auto& [name, value] : req.params) {
        if (name == "token") continue;
        query += (query.empty() ? "?" : "&") + httplib::detail::encode_query_param(name) + "=" +
                 httplib::detail::encode_query_param(value);
    }
    return query;
}

uint64_t NowMs() {
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

}  // namespace

CWebServer::CWebServer(CWebModel& model, CEventHub& hub, SWebServerConfig config, std::function<void()> onExit)
    : model_(model), hub_(hub), config_(std::move(config)), onExit_(std::move(onExit)),
      server_(std::make_unique<httplib::Server>()) {}

CWebServer::~CWebServer() { Stop(); }

std::string CWebServer::Url() const {
    std::string host = config_.host == "0.0.0.0" || config_.host.empty() ? "127.0.0.1" : config_.host;
    return "http://" + host + ":" + std::to_string(port_) + "/?token=" + config_.token;
}

// The guard in front of every route: Host, Origin, then the token (cookie, bearer header, or the
// ?token= of the printed address, which is turned into the cookie).
bool CWebServer::Allowed(const httplib::Request& req, httplib::Response& res) {
    if (!HostAllowed(req.get_header_value("Host"), hosts_)) {
        SendJson(res, ApiError(421, "This server answers only to its own address."));
        return false;
    }
    if (!OriginAllowed(req.get_header_value("Origin"), hosts_)) {
        SendJson(res, ApiError(403, "Requests from other sites are refused."));
        return false;
    }
    const std::string& token = config_.token;
    if (TokenEquals(CookieValue(req.get_header_value("Cookie"), kTokenCookie), token) ||
        TokenEquals(BearerToken(req.get_header_value("Authorization")), token))
        return true;
    if (req.method == "GET" && TokenEquals(req.get_param_value("token"), token)) {
        // The page keeps the token in a cookie and drops it from the address bar.
        res.set_header("Set-Cookie", TokenCookie(token));
        if (req.path.rfind("/api/", 0) != 0) {
            res.set_redirect(req.path + QueryWithoutToken(req));
            return false;
        }
        return true;
    }
    SendJson(res, ApiError(401, "Open the address that Plover printed when it started; it carries the key."));
    return false;
}

void CWebServer::Routes() {
    httplib::Server& s = *server_;
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        return Allowed(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                   : httplib::Server::HandlerResponse::Handled;
    });
    s.set_post_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        // A route that frames a site's page sets a policy of its own (format_determ.h).
        if (!res.has_header("Content-Security-Policy")) res.set_header("Content-Security-Policy", kCsp);
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        if (!res.has_header("X-Frame-Options")) res.set_header("X-Frame-Options", "DENY");
        if (req.path.rfind("/api/", 0) == 0) res.set_header("Cache-Control", "no-store");
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        SendJson(res, ApiError(500, "The request could not be handled."));
    });

    // Pages: one route per window, all served by the same page, which reads its window's layout.
    if (config_.pages) {
        s.Get("/", [](const httplib::Request&, httplib::Response& res) { SendAsset(res, "index.html"); });
        s.Get(R"(/window/([a-z]+))", [](const httplib::Request& req, httplib::Response& res) {
            if (!ui::FindProgramWindow(req.matches[1])) return SendJson(res, ApiError(404, "No such window."));
            SendAsset(res, "index.html");
        });
        s.Get(R"(/static/([a-z0-9_\-]+(/[a-z0-9_\-]+)*\.(js|css|svg|png)))",
              [](const httplib::Request& req, httplib::Response& res) { SendAsset(res, req.matches[1]); });
    }

    s.Get(R"(/api/windows/([a-z]+))", [](const httplib::Request& req, httplib::Response& res) {
        const ui::SProgramWindow* w = ui::FindProgramWindow(req.matches[1]);
        if (!w) return SendJson(res, ApiError(404, "No such window."));
        SendJson(res, {200, ui::WindowJson(*w)});
    });
    s.Get("/api/snapshot", [this](const httplib::Request&, httplib::Response& res) {
        SendJson(res, {200, model_.Snapshot()});
    });
    s.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
        // Each open stream holds a request thread; some are kept free for the commands.
        if (hub_.ClientCount() + kFreeThreads >= size_t(config_.threads))
            return SendJson(res, ApiError(503, "Too many Plover windows are open; close some of them."));
        uint64_t client = hub_.Connect();
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, client](size_t, httplib::DataSink& sink) {
                std::deque<std::string> events;
                switch (hub_.Wait(client, events, 15000)) {
                    case CEventHub::EWait::Closed: sink.done(); return true;
                    case CEventHub::EWait::Timeout: return sink.write(": keep-alive\n\n", 14);
                    case CEventHub::EWait::Resync: {
                        std::string e = SseEvent("snapshot", model_.Snapshot().dump(
                                                                 -1, ' ', false, nlohmann::json::error_handler_t::replace));
                        return sink.write(e.data(), e.size());
                    }
                    case CEventHub::EWait::Events: break;
                }
                std::string all;
                for (const std::string& e : events) all += e;
                return sink.write(all.data(), all.size());
            },
            [this, client](bool) { hub_.Disconnect(client); });
    });

    auto post = [this](const char* pattern, std::function<SApiAnswer(const httplib::Request&, const nlohmann::json&)> fn,
                       bool needsBody) {
        server_->Post(pattern, JsonCommand(std::move(fn), needsBody ? EJsonBody::Required : EJsonBody::Optional));
    };
    post("/api/downloads", [this](const httplib::Request&, const nlohmann::json& b) { return AddDownloads(model_, b); },
         true);
    post(R"(/api/downloads/(\d{1,9})/([a-zA-Z]{1,20}))",
         [this](const httplib::Request& req, const nlohmann::json& b) {
             return DownloadAction(model_, std::stoi(req.matches[1]), req.matches[2], b);
         },
         false);
    post("/api/traffic", [this](const httplib::Request&, const nlohmann::json& b) { return SetTrafficMode(model_, b); },
         true);
    s.Get("/api/settings", [](const httplib::Request&, httplib::Response& res) { SendJson(res, ListOptions()); });
    s.Get("/api/settings/stored", [](const httplib::Request&, httplib::Response& res) { SendJson(res, StoredSettings()); });
    // Every open window follows a changed setting (colours, widths, the log's length...).
    post("/api/settings",
         [this](const httplib::Request&, const nlohmann::json& b) {
             SApiAnswer a = SetOption(b);
             if (a.status == 200)
                 hub_.Publish(SseEvent("setting", a.body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
             return a;
         },
         true);
    s.Get(R"(/api/sounds/([1-4]))", [](const httplib::Request& req, httplib::Response& res) {
        SSoundInfo sound;
        {
            std::lock_guard g(SettingsLock());
            sound = GetSettings().Sounds[std::stoi(req.matches[1]) - 1];
        }
        SSoundFile file = LoadSound(sound);
        if (file.status != 200) return SendJson(res, ApiError(file.status, file.error));
        res.set_content(std::move(file.body), file.mime);
    });
    if (setup_) {
        s.Get("/api/setup", [this](const httplib::Request&, httplib::Response& res) { SendJson(res, setup_->State()); });
        post("/api/setup/install",
             [this](const httplib::Request&, const nlohmann::json& b) { return setup_->Install(b); }, false);
        post("/api/setup/uninstall",
             [this](const httplib::Request&, const nlohmann::json& b) { return setup_->Uninstall(b); }, true);
    }
    if (jobStart_ && jobState_) {
        post(R"(/api/jobs/(collect|drop))",
             [this](const httplib::Request& req, const nlohmann::json& b) {
                 nlohmann::json body = b;
                 body["kind"] = req.matches[1].str();
                 SApiAnswer a;
                 a.body = jobStart_(body, a.status);
                 return a;
             },
             true);
        s.Get(R"(/api/jobs/(\d{1,9}))", [this](const httplib::Request& req, httplib::Response& res) {
            SApiAnswer a;
            a.body = jobState_(std::stoi(req.matches[1]), a.status);
            SendJson(res, a);
        });
    }
    post("/api/exit",
         [this](const httplib::Request&, const nlohmann::json&) {
             if (onExit_) onExit_();
             return SApiAnswer{200, {{"exiting", true}}};
         },
         false);
}

bool CWebServer::Start(std::string* error) {
    hosts_ = AllowedHosts(config_.host, config_.port);
    server_->new_task_queue = [n = config_.threads] { return new httplib::ThreadPool(size_t(n)); };
    server_->set_payload_max_length(1 << 20);
    // One request a connection: the HTTP library waits for the next request on a kept connection
    // by waking every few milliseconds, which costs far more than a new loopback connection once
    // a page holds several connections open. The event stream is one long response and stays.
    server_->set_keep_alive_max_count(1);
    Routes();
    for (auto& install : installers_) install(*server_);
    if (config_.port == 0) {
        port_ = server_->bind_to_any_port(config_.host);
        if (port_ <= 0) port_ = 0;
    } else if (server_->bind_to_port(config_.host, config_.port)) {
        port_ = config_.port;
    }
    if (port_ == 0) {
        if (error) *error = "cannot listen on " + config_.host + ":" + std::to_string(config_.port);
        return false;
    }
    hosts_ = AllowedHosts(config_.host, port_);
    listener_ = std::thread([this] { server_->listen_after_bind(); });
    // Until the listener runs, a stop request would not reach it: wait for it to be up.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pump_ = std::thread([this] {
        while (!stopping_) {
            model_.Pump(NowMs());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    return true;
}

void CWebServer::Stop() {
    if (stopping_.exchange(true)) return;
    hub_.Close();  // the event streams end, freeing their request threads
    server_->stop();
    if (listener_.joinable()) listener_.join();
    if (pump_.joinable()) pump_.join();
}

}  // namespace plover::web
