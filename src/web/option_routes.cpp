#include "web/option_routes.h"

#include <httplib.h>

#include <functional>

#include "web/history_api.h"

namespace plover::web {
namespace {

void SendJson(httplib::Response& res, const SApiAnswer& answer) {
    res.status = answer.status;
    res.set_content(answer.body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void Command(httplib::Server& s, const char* pattern, std::function<SApiAnswer(const nlohmann::json&)> fn) {
    s.Post(pattern, [fn](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
            return SendJson(res, ApiError(415, "The request body must be JSON."));
        nlohmann::json body;
        SApiAnswer error;
        if (!ParseBody(req.body.empty() ? "{}" : req.body, body, error)) return SendJson(res, error);
        SendJson(res, fn(body));
    });
}

void Read(httplib::Server& s, const char* pattern, std::function<SApiAnswer()> fn) {
    s.Get(pattern, [fn](const httplib::Request&, httplib::Response& res) { SendJson(res, fn()); });
}

}  // namespace

void InstallOptionRoutes(httplib::Server& s, const SSystemInfoSource*) {
    Read(s, "/api/history", ListHistory);
    Command(s, "/api/history/forget", ForgetHistory);
    Read(s, "/api/bookmarks", ListBookmarks);
    Command(s, "/api/bookmarks", AddBookmark);
    Command(s, "/api/bookmarks/delete", DeleteBookmark);
}

}  // namespace plover::web
