#include "web/proxy_api.h"

#include <memory>
#include <mutex>

#include "net/proxy_check.h"
#include "net/proxy_options.h"
#include "platform/window.h"
#include "web/options_api.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

constexpr size_t kMaxText = 999;

nlohmann::json PageJson(const SProxyPage& p) {
    return {{"httpUse", p.bHttpUse},           {"httpAddr", ValidUtf8(p.httpAddr)}, {"httpPort", p.httpPort},
            {"ftpMode", p.ftpMode},            {"ftpAddr", ValidUtf8(p.ftpAddr)},   {"ftpPort", p.ftpPort},
            {"passive", p.bPasv},              {"ftpUser", ValidUtf8(p.ftpUser)},   {"ftpPassword", ValidUtf8(p.ftpPassword)}};
}

// The fields of the body over the page; false with the refusal of a field of the wrong type.
bool ReadPage(const nlohmann::json& body, SProxyPage& page, std::string& refusal) {
    auto flag = [&](const char* key, bool& out) {
        if (!body.contains(key)) return true;
        if (!body[key].is_boolean()) return refusal = std::string("\"") + key + "\" must be true or false.", false;
        out = body[key].get<bool>();
        return true;
    };
    auto text = [&](const char* key, std::string& out) {
        if (!body.contains(key)) return true;
        const nlohmann::json& v = body[key];
        if (!v.is_string() || v.get<std::string>().size() > kMaxText ||
            v.get<std::string>().find_first_of("\r\n") != std::string::npos)
            return refusal = std::string("\"") + key + "\" must be one line of text.", false;
        out = v.get<std::string>();
        return true;
    };
    // A port as typed: a whole number (out of range is the page's rule to refuse), or null for none.
    auto port = [&](const char* key, int64_t& out) {
        if (!body.contains(key)) return true;
        const nlohmann::json& v = body[key];
        if (v.is_null()) return out = -1, true;
        if (!v.is_number_integer()) return refusal = std::string("\"") + key + "\" must be a whole number.", false;
        out = v.get<int64_t>();
        return true;
    };
    if (body.contains("ftpMode")) {
        const nlohmann::json& m = body["ftpMode"];
        if (!m.is_number_integer() || m.get<int64_t>() < 0 || m.get<int64_t>() > 2)
            return refusal = "\"ftpMode\" must be 0, 1 or 2.", false;
        page.ftpMode = uint32_t(m.get<int64_t>());
    }
    return flag("httpUse", page.bHttpUse) && text("httpAddr", page.httpAddr) && port("httpPort", page.httpPort) &&
           text("ftpAddr", page.ftpAddr) && port("ftpPort", page.ftpPort) && flag("passive", page.bPasv) &&
           text("ftpUser", page.ftpUser) && text("ftpPassword", page.ftpPassword);
}

// The one check of the page: its thread posts to `window` until it ends or is cancelled.
struct SCheckRun {
    int id = 0;
    CMessageQueueWindow window;
    CProxyCheck check;
    std::string status;
    bool done = false;
    uint32_t result = PROXY_CHECK_CANCELLED;
};

std::mutex checkLock;
std::unique_ptr<SCheckRun> checkRun;
int lastCheckId = 0;

// With checkLock held: the messages the check has posted so far.
nlohmann::json CheckJson(SCheckRun& run) {
    while (!run.done) {
        auto msg = run.window.GetMessage(0);
        if (!msg) break;
        if (msg->msg == WM_PV_PROXY_CHECK_STATUS) run.status = reinterpret_cast<const char*>(msg->wp);
        if (msg->msg == WM_PV_PROXY_CHECK_RESULT) {
            run.result = uint32_t(msg->wp);
            run.done = true;
        }
    }
    nlohmann::json j = {{"id", run.id}, {"status", run.status}, {"done", run.done}};
    if (run.done) {
        j["result"] = run.result;
        j["text"] = ProxyCheckResultText(run.result);
    }
    return j;
}

}  // namespace

SApiAnswer ProxyPage() {
    std::lock_guard g(SettingsLock());
    return {200, PageJson(ProxyPageFromCurrent())};
}

SApiAnswer ApplyProxy(const nlohmann::json& body) {
    std::lock_guard g(SettingsLock());
    SProxyPage page = ProxyPageFromCurrent();
    std::string message;
    if (!ReadPage(body, page, message)) return ApiError(400, message);
    if (!ApplyProxyPage(page, message)) return ApiError(422, message);
    if (!WriteSettings(&message)) return ApiError(500, message);
    return {200, PageJson(ProxyPageFromCurrent())};
}

SApiAnswer StartProxyCheck(const nlohmann::json& body) {
    if (!body.contains("address") || !body["address"].is_string() || !body.contains("port") ||
        !body["port"].is_number_integer())
        return ApiError(422, kMsgHTTPProxyInvalid);
    std::string address = body["address"].get<std::string>();
    int64_t port = body["port"].get<int64_t>();
    if (address.empty() || address.size() > kMaxText || port < 0 || port > 65535)
        return ApiError(422, kMsgHTTPProxyInvalid);
    std::lock_guard g(checkLock);
    if (checkRun) checkRun->check.Cancel();
    checkRun = std::make_unique<SCheckRun>();
    checkRun->id = ++lastCheckId;
    if (!checkRun->check.Start(address, int32_t(port), &checkRun->window)) {
        checkRun->done = true;
        checkRun->result = PROXY_CHECK_NO_SOCKET;
    }
    return {200, CheckJson(*checkRun)};
}

SApiAnswer ProxyCheckState() {
    std::lock_guard g(checkLock);
    if (!checkRun) return ApiError(404, "No proxy check has been started.");
    return {200, CheckJson(*checkRun)};
}

SApiAnswer CancelProxyCheck() {
    std::lock_guard g(checkLock);
    if (!checkRun) return ApiError(404, "No proxy check has been started.");
    CheckJson(*checkRun);
    if (!checkRun->done) {
        // Detached: the check's thread posts nothing more.
        checkRun->check.Cancel();
        checkRun->done = true;
        checkRun->result = PROXY_CHECK_CANCELLED;
    }
    return {200, CheckJson(*checkRun)};
}

}  // namespace plover::web
