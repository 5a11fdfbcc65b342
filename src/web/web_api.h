#pragma once
// The JSON commands of the page. Every input is checked (types, ranges, lengths, paths) before
// anything is posted to an engine; a refusal is a 4xx status with {"error": "..."}.
//
//   POST /api/downloads            {"urls":[...], "folder":"/abs/path"?, "priority":0..10?, "paused":bool?}
//   POST /api/downloads/ID/ACTION  pause | resume | retry | delete | deleteWithFile | up | down |
//                                  overwrite | keepFile |
//                                  cancelLogin (no body)
//   POST /api/downloads/ID/login   {"user","password","store":bool?}  answers a login request
//   POST /api/downloads/ID/priority {"priority":0..10}
//   POST /api/downloads/ID/move     {"folder":"/abs/path"}  moves the file there (the relocator)
//   POST /api/downloads/ID/folder   answers {"folder","path"}: where the file is
//   POST /api/traffic              {"mode":0..3}
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace plover {
struct IDownload;
}

namespace plover::web {

class CWebModel;

struct SApiAnswer {
    int status = 200;
    nlohmann::json body = nlohmann::json::object();
};

SApiAnswer ApiError(int status, const std::string& message);
// Parses a request body; a body that is not a JSON object is an error answer (set in `error`).
bool ParseBody(const std::string& text, nlohmann::json& out, SApiAnswer& error);

SApiAnswer AddDownloads(CWebModel& model, const nlohmann::json& body);
SApiAnswer DownloadAction(CWebModel& model, int id, const std::string& action, const nlohmann::json& body);
SApiAnswer SetTrafficMode(CWebModel& model, const nlohmann::json& body);
// Answers a download's login request ({"user","password","store"?}); with "store" the login is
// kept for the site.
SApiAnswer AnswerLogin(IDownload* d, const nlohmann::json& body);

}  // namespace plover::web
