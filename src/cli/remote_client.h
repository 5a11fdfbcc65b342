#pragma once
// The HTTP client of the commands that send their work to a running Plover (remote_session.h).
#include <string>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "cli/remote_session.h"

namespace plover::cli {

// A client of the running Plover's server, with its key.
class CPloverClient {
public:
    explicit CPloverClient(const SRunningPlover& p);
    // The answer's JSON and status; status 0 when the server did not answer.
    int Get(const std::string& path, nlohmann::json& out);
    int Post(const std::string& path, const nlohmann::json& body, nlohmann::json& out);

private:
    static int Take(const httplib::Result& r, nlohmann::json& out);
    httplib::Client client_;
};

}  // namespace plover::cli
