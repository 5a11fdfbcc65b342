#include "web/scan_routes.h"

#include <httplib.h>

#include "web/json_routes.h"
#include "web/scan_service.h"
#include "web/served_files.h"
#include "web/web_assets.h"

namespace plover::web {
namespace {

// A picture larger than this is not sent to the page (a preview is a picture, not an archive).
constexpr size_t kMaxPictureBytes = size_t(64) << 20;

size_t Number(const std::string& text) { return size_t(std::stoul(text)); }

// Sends a resolved picture file with the type its bytes show; anything else is "not found".
void SendPicture(httplib::Response& res, const std::string& path, const char* cache) {
    std::string data;
    const char* type = "";
    if (!path.empty() && ReadServedFile(path, kMaxPictureBytes, data)) type = PictureMimeType(data);
    if (!*type) return SendJson(res, ApiError(404, "There is no such picture."));
    res.set_header("Cache-Control", cache);
    res.set_content(std::move(data), type);
}

httplib::Server::Handler Command(JsonCommandFn fn) { return JsonCommand(std::move(fn)); }

}  // namespace

void InstallScanRoutes(httplib::Server& s, CScanService& scans) {
    s.Get("/scan", [](const httplib::Request&, httplib::Response& res) {
        const SWebAsset* page = FindAsset("index.html");
        if (!page) return SendJson(res, ApiError(404, "Not found."));
        res.set_content(reinterpret_cast<const char*>(page->data), page->size, MimeType("index.html"));
    });
    s.Get("/api/scan", [&scans](const httplib::Request&, httplib::Response& res) { SendJson(res, scans.List()); });
    s.Get("/api/scan/choices",
          [&scans](const httplib::Request&, httplib::Response& res) { SendJson(res, {200, scans.Choices()}); });
    s.Post("/api/scan", Command([&scans](const httplib::Request&, const nlohmann::json& b) { return scans.Open(b); }));
    s.Get(R"(/api/scan/(\d{1,9})/items)", [&scans](const httplib::Request& req, httplib::Response& res) {
        auto param = [&](const char* name, size_t fallback) {
            std::string v = req.get_param_value(name);
            return !v.empty() && v.size() <= 9 && v.find_first_not_of("0123456789") == std::string::npos ? Number(v)
                                                                                                      : fallback;
        };
        SendJson(res, scans.Items(int(Number(req.matches[1])), param("from", 0), param("count", 10000),
                                  req.get_param_value("detail") == "1"));
    });
    s.Post(R"(/api/scan/sends/(\d{1,9})/cancel)",
           Command([&scans](const httplib::Request& req, const nlohmann::json&) {
               return scans.CancelSend(int(Number(req.matches[1])));
           }));
    s.Post(R"(/api/scan/(\d{1,9})/([a-zA-Z]{1,20}))", Command([&scans](const httplib::Request& req, const nlohmann::json& b) {
               return scans.Action(int(Number(req.matches[1])), req.matches[2], b);
           }));
    s.Get(R"(/scan-pictures/([0-9a-f]{16})/(\d{1,9})/(\d{1,9})/(\d{1,9}))",
          [&scans](const httplib::Request& req, httplib::Response& res) {
              if (req.matches[1] != scans.Nonce()) return SendJson(res, ApiError(404, "There is no such picture."));
              // A result's small picture never changes under its address.
              SendPicture(res,
                          scans.ThumbFile(int(Number(req.matches[2])), int(Number(req.matches[3])), Number(req.matches[4])),
                          "private, max-age=86400, immutable");
          });
    s.Get(R"(/scan-pictures/([0-9a-f]{16})/(\d{1,9})/large/(\d{1,9}))",
          [&scans](const httplib::Request& req, httplib::Response& res) {
              if (req.matches[1] != scans.Nonce()) return SendJson(res, ApiError(404, "There is no such picture."));
              SendPicture(res, scans.LargeFile(int(Number(req.matches[2])), Number(req.matches[3])), "no-cache");
          });
}

}  // namespace plover::web
