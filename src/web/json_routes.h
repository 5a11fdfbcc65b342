#pragma once
// What every route of the server shares: answers as JSON, and commands whose body is a JSON
// object sent as JSON, so that a form post from another page cannot pass as a command.
#include <httplib.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

void SendJson(httplib::Response& res, const SApiAnswer& answer);

// How a command takes its body. Optional: none is {}, and only a body must be typed as JSON.
// Typed: the request is typed as JSON even without a body, which is then {}. Required: typed, and
// an empty body is refused as JSON that does not parse.
enum class EJsonBody { Optional, Typed, Required };

using JsonCommandFn = std::function<SApiAnswer(const httplib::Request&, const nlohmann::json&)>;

httplib::Server::Handler JsonCommand(JsonCommandFn fn, EJsonBody body = EJsonBody::Optional);

}  // namespace plover::web
