#include "web/json_routes.h"

#include <utility>

namespace plover::web {

void SendJson(httplib::Response& res, const SApiAnswer& answer) {
    res.status = answer.status;
    res.set_content(answer.body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

httplib::Server::Handler JsonCommand(JsonCommandFn fn, EJsonBody kind) {
    return [fn = std::move(fn), kind](const httplib::Request& req, httplib::Response& res) {
        nlohmann::json body = nlohmann::json::object();
        if (kind != EJsonBody::Optional || !req.body.empty()) {
            if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
                return SendJson(res, ApiError(415, "The request body must be JSON."));
            const std::string& text = req.body.empty() && kind == EJsonBody::Typed ? "{}" : req.body;
            SApiAnswer error;
            if (!ParseBody(text, body, error)) return SendJson(res, error);
        }
        SendJson(res, fn(req, body));
    };
}

}  // namespace plover::web
