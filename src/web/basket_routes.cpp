#include "web/basket_routes.h"

#include <httplib.h>

#include <functional>

#include "web/basket_api.h"
#include "web/basket_service.h"
#include "web/external_viewer.h"
#include "web/json_routes.h"
#include "web/picture_api.h"

namespace plover::web {
namespace {

using Handler = std::function<SApiAnswer(const httplib::Request&, const nlohmann::json&)>;

void Command(httplib::Server& s, const char* pattern, Handler fn) { s.Post(pattern, JsonCommand(std::move(fn))); }

void Read(httplib::Server& s, const char* pattern, std::function<SApiAnswer(const httplib::Request&)> fn) {
    s.Get(pattern, [fn](const httplib::Request& req, httplib::Response& res) { SendJson(res, fn(req)); });
}

uint64_t Number(const std::string& text) { return std::stoull(text); }

}  // namespace

void InstallBasketRoutes(httplib::Server& s, CBasketService& service) {
    CBasketService* sv = &service;
    Read(s, "/api/baskets", [sv](const httplib::Request&) { return ListBaskets(*sv); });
    Command(s, "/api/baskets", [sv](const httplib::Request&, const nlohmann::json& b) { return AddBasket(*sv, b); });
    Command(s, "/api/baskets/view", [](const httplib::Request&, const nlohmann::json& b) { return SetBasketView(b); });
    Command(s, "/api/baskets/move", [sv](const httplib::Request&, const nlohmann::json& b) { return StartMove(*sv, b); });
    Command(s, R"(/api/baskets/(\d{1,9})/([a-zA-Z]{1,20}))", [sv](const httplib::Request& req, const nlohmann::json& b) {
        int id = int(Number(req.matches[1]));
        std::string action = req.matches[2];
        if (action == "edit") return EditBasket(*sv, id, b);
        if (action == "delete") return DeleteBasket(*sv, id);
        if (action == "rename") return RenameInBasket(*sv, id, b);
        if (action == "remove") return RemoveFromBasket(*sv, id, b);
        if (action == "newFolder") return NewBasketFolder(*sv, id, b);
        return ApiError(404, "Unknown action: " + action);
    });
    Read(s, R"(/api/baskets/(\d{1,9})/files)", [sv](const httplib::Request& req) {
        return ListBasketFolder(*sv, int(Number(req.matches[1])), req.get_param_value("path"));
    });
    Read(s, "/api/moves", [sv](const httplib::Request&) { return MoveState(*sv); });
    Command(s, R"(/api/moves/(\d{1,18})/(answer|cancel))", [sv](const httplib::Request& req, const nlohmann::json& b) {
        uint64_t job = Number(req.matches[1]);
        return req.matches[2] == "answer" ? AnswerMove(*sv, job, b) : CancelMove(*sv, job);
    });
    Read(s, "/api/history/address", [](const httplib::Request& req) { return HistoryOfAddress(req.get_param_value("address")); });

    // Pictures: not below /api/, so that the browser may keep them and ask again with the ETag.
    s.Get("/picture", [sv](const httplib::Request& req, httplib::Response& res) {
        SPictureAnswer a = ServePicture(sv->PictureRoots(), req.get_param_value("path"), req.get_param_value("box"),
                                        req.get_param_value("urgent") == "1", req.get_header_value("If-None-Match"));
        res.status = a.status;
        for (const auto& [name, value] : a.headers) res.set_header(name.c_str(), value);
        if (a.status != 304) res.set_content(a.body, a.contentType.c_str());
    });
    Command(s, "/api/pictures/cancel",
            [sv](const httplib::Request&, const nlohmann::json& b) { return CancelPicture(sv->PictureRoots(), b); });
    Read(s, "/api/pictures/folder",
         [sv](const httplib::Request& req) { return PictureFolder(sv->PictureRoots(), req.get_param_value("path")); });
    Command(s, "/api/pictures/external",
            [sv](const httplib::Request&, const nlohmann::json& b) { return OpenInExternalViewer(sv->PictureRoots(), b); });
    s.Post("/api/pictures/local", [sv](const httplib::Request& req, httplib::Response& res) {
        if (req.get_header_value("Content-Type") != "application/octet-stream")
            return SendJson(res, ApiError(415, "A picture is sent as application/octet-stream."));
        uint64_t offset = 0, total = 0;
        try {
            offset = std::stoull(req.get_param_value("offset"));
            total = std::stoull(req.get_param_value("total"));
        } catch (const std::exception&) {
            return SendJson(res, ApiError(400, "\"offset\" and \"total\" must be numbers."));
        }
        SendJson(res, sv->LocalPictures().Receive(req.get_param_value("name"), req.get_param_value("id"), offset, total,
                                                  req.body));
    });
}

}  // namespace plover::web
