#include "web/format_determ.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>

#include "engine/engine_mgr.h"
#include "scan/i_page_mgr.h"
#include "scan/search_site_dialogs.h"
#include "scan/web_browser.h"
#include "web/frame_page.h"
#include "web/instance_token.h"
#include "web/json_routes.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

constexpr auto kFetchTime = std::chrono::seconds(60);
constexpr size_t kMaxPageBytes = size_t(4) << 20;
constexpr size_t kMaxSiteLength = 2000;
constexpr const char* kFramePath = "/api/format/frame";
// The site's page may show its pictures and styles from anywhere, never run a script, and only
// send its forms back here.
constexpr const char* kFrameCsp =
    "default-src 'none'; img-src * data:; style-src * 'unsafe-inline'; font-src *; base-uri *; "
    "form-action 'self'; frame-ancestors 'self'";

// The frame as the dialog sees it: the address it was told to open, and what it shows once
// Plover has served the page.
class CFrameBrowser final : public IWebBrowser {
public:
    void Navigate(const std::string& address) override {
        std::lock_guard g(lock_);
        pending_ = address;
        current_.clear();
        complete_ = false;
        ++navigation_;
    }
    bool IsLoadingComplete() override {
        std::lock_guard g(lock_);
        return complete_;
    }
    std::string GetCurrentAddress() override {
        std::lock_guard g(lock_);
        return current_;
    }
    void Loading() {
        std::lock_guard g(lock_);
        complete_ = false;
    }
    void Loaded(const std::string& address) {
        std::lock_guard g(lock_);
        current_ = address;
        complete_ = true;
    }
    std::string Pending() {
        std::lock_guard g(lock_);
        return pending_;
    }
    int Navigation() {
        std::lock_guard g(lock_);
        return navigation_;
    }

private:
    std::mutex lock_;
    std::string pending_, current_;
    bool complete_ = false;
    int navigation_ = 0;
};

// Waits for one page of the page manager. Counted: the web file may hold it longer than the
// request that waits.
class CPageWaiter final : public IPageStatusCallback {
public:
    enum class EOutcome { Waiting, Complete, Failed, Login };

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid == IID_IUnknown || iid == IID_IPageStatusCallback) {
            AddRef();
            *out = static_cast<IPageStatusCallback*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override {
        uint32_t n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    void OnPageComplete(IWebFile*) override { Set(EOutcome::Complete); }
    void OnPageFailed(IWebFile*) override { Set(EOutcome::Failed); }
    void OnPageWaiting(IWebFile*) override { Set(EOutcome::Login); }

    EOutcome Wait() {
        std::unique_lock l(lock_);
        cv_.wait_for(l, kFetchTime, [&] { return outcome_ != EOutcome::Waiting; });
        return outcome_;
    }

private:
    void Set(EOutcome outcome) {
        std::lock_guard g(lock_);
        if (outcome_ == EOutcome::Waiting) outcome_ = outcome;
        cv_.notify_all();
    }
    std::atomic<uint32_t> refs_{1};
    std::mutex lock_;
    std::condition_variable cv_;
    EOutcome outcome_ = EOutcome::Waiting;
};

// The page at url fetched afresh by the page manager: its bytes and the address it came from.
bool FetchPage(const std::string& url, std::string& body, std::string& effective, std::string& why) {
    RefPtr<IEngine> engine;
    RefPtr<IPageMgr> pm;
    if (GetEngineMgr()->GetEngine(ENGINE_ID_PAGE_MGR, engine.Put())) pm = QueryAs<IPageMgr>(engine.Get(), IID_IPageMgr);
    if (!pm) return why = "The page manager is not running.", false;
    auto waiter = RefPtr<CPageWaiter>::Adopt(new CPageWaiter);
    RefPtr<IWebFile> file;
    if (!pm->RequestFile(url, "", true, waiter.Get(), file.Put())) return why = "The address cannot be fetched.", false;
    switch (waiter->Wait()) {
        case CPageWaiter::EOutcome::Complete: break;
        case CPageWaiter::EOutcome::Failed: return why = file->GetStatusText(), false;
        case CPageWaiter::EOutcome::Login:
            file->Cancel();
            return why = "The site asks for a login.", false;
        case CPageWaiter::EOutcome::Waiting:
            file->Cancel();
            return why = "The site did not answer in time.", false;
    }
    effective = file->GetEffectiveURL();
    std::ifstream in(file->GetLocalPath(), std::ios::binary);
    body.assign(kMaxPageBytes, '\0');
    in.read(body.data(), std::streamsize(body.size()));
    body.resize(size_t(in.gcount()));
    return true;
}

std::string ParamOf(std::string_view rawQuery, std::string_view name) {
    size_t i = 0;
    while (i <= rawQuery.size()) {
        size_t amp = rawQuery.find('&', i);
        if (amp == std::string_view::npos) amp = rawQuery.size();
        std::string_view part = rawQuery.substr(i, amp - i);
        if (part.substr(0, name.size()) == name && part.size() > name.size() && part[name.size()] == '=')
            return std::string(part.substr(name.size() + 1));
        i = amp + 1;
    }
    return {};
}

std::string HtmlText(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '<' ? std::string("&lt;") : c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

}  // namespace

struct CFormatDetermination::SSession {
    int id = 0;
    std::string site, key;
    bool cancelled = false;
    CFrameBrowser browser;
    std::unique_ptr<CSearchEngineFormatDetermDlg> dlg;  // after the browser it watches
};

CFormatDetermination::CFormatDetermination() = default;
CFormatDetermination::~CFormatDetermination() = default;

nlohmann::json CFormatDetermination::StateJson() {
    if (!session_) return {{"result", "none"}};
    SSession& s = *session_;
    const CSearchEngineFormatDetermDlg& d = *s.dlg;
    const char* result = s.cancelled ? "closed"
                         : d.Result() == CSearchEngineFormatDetermDlg::EResult::Determined ? "determined"
                         : d.Result() == CSearchEngineFormatDetermDlg::EResult::Closed     ? "closed"
                                                                                           : "running";
    std::string frame = std::string(kFramePath) + "?" + kFrameKeyParam + "=" + s.key + "&" + kFrameUrlParam + "=" +
                        PercentEncode(s.browser.Pending());
    return {{"id", s.id},
            {"site", ValidUtf8(s.site)},
            {"stage", d.Stage()},
            {"prompt", d.Prompt()},
            {"buttons", d.ButtonsVisible()},
            {"checking", d.CheckTimerRunning() && !s.cancelled},
            {"blinking", d.Blinking()},
            {"result", result},
            {"template", ValidUtf8(d.Template())},
            {"message", s.cancelled ? "" : d.Message()},
            {"frame", frame},
            {"navigation", s.browser.Navigation()},
            {"address", ValidUtf8(s.browser.GetCurrentAddress())}};
}

SApiAnswer CFormatDetermination::Start(const nlohmann::json& body) {
    std::string site;
    if (body.contains("site")) {
        if (!body["site"].is_string()) return ApiError(400, "\"site\" must be a string.");
        site = body["site"].get<std::string>();
    }
    if (site.size() > kMaxSiteLength || site.find_first_of("\r\n") != std::string::npos)
        return ApiError(422, "The site's address is too long or not one line.");
    CSearchEnginePropDlg props;
    props.title = site;
    std::string why;
    if (!props.CanDetermineFormat(&why)) return ApiError(422, why);
    // The site's name is its home page's address, usually without the scheme a browser adds.
    std::string address = site.find("://") == std::string::npos ? "http://" + site : site;
    auto session = std::make_shared<SSession>();
    session->site = site;
    session->key = NewToken();
    session->dlg = std::make_unique<CSearchEngineFormatDetermDlg>(session->browser, address);
    std::lock_guard g(lock_);
    session->id = ++lastId_;
    session_ = session;
    session_->dlg->Open();
    return {200, StateJson()};
}

SApiAnswer CFormatDetermination::State() {
    std::lock_guard g(lock_);
    return {200, StateJson()};
}

SApiAnswer CFormatDetermination::Step(void (CSearchEngineFormatDetermDlg::*step)()) {
    std::lock_guard g(lock_);
    if (session_ && !session_->cancelled) (session_->dlg.get()->*step)();
    return {200, StateJson()};
}

SApiAnswer CFormatDetermination::Check() { return Step(&CSearchEngineFormatDetermDlg::OnCheckTimer); }
SApiAnswer CFormatDetermination::Yes() { return Step(&CSearchEngineFormatDetermDlg::OnYes); }
SApiAnswer CFormatDetermination::No() { return Step(&CSearchEngineFormatDetermDlg::OnNo); }

SApiAnswer CFormatDetermination::Cancel() {
    std::lock_guard g(lock_);
    if (session_) session_->cancelled = true;
    return {200, StateJson()};
}

CFormatDetermination::SFrameAnswer CFormatDetermination::Frame(const std::string& rawQuery, const std::string& host) {
    std::shared_ptr<SSession> session;
    {
        std::lock_guard g(lock_);
        session = session_;
    }
    std::string key = ParamOf(rawQuery, kFrameKeyParam);
    if (!session || session->cancelled || key.empty() || key != session->key)
        return {403, "<p>This page belongs to a format determination that has ended.</p>"};
    std::string target = FrameTarget(rawQuery);
    if (target.empty()) return {400, "<p>Only HTTP and HTTPS addresses can be opened here.</p>"};
    session->browser.Loading();
    std::string body, effective, why;
    if (!FetchPage(target, body, effective, why)) {
        session->browser.Loaded(target);
        return {200, "<!DOCTYPE html><p>" + HtmlText(target) + "</p><p>" + HtmlText(why) + "</p>"};
    }
    std::string page = RewriteFramePage(body, effective, "http://" + host + kFramePath, session->key);
    session->browser.Loaded(effective);
    return {200, page};
}

void InstallFormatRoutes(httplib::Server& s, CFormatDetermination& d) {
    auto command = [&s](const char* pattern, std::function<SApiAnswer(const nlohmann::json&)> fn) {
        s.Post(pattern, JsonCommand([fn](const httplib::Request&, const nlohmann::json& body) { return fn(body); },
                                    EJsonBody::Typed));
    };
    s.Get("/api/format", [&d](const httplib::Request&, httplib::Response& res) { SendJson(res, d.State()); });
    command("/api/format/start", [&d](const nlohmann::json& b) { return d.Start(b); });
    command("/api/format/check", [&d](const nlohmann::json&) { return d.Check(); });
    command("/api/format/yes", [&d](const nlohmann::json&) { return d.Yes(); });
    command("/api/format/no", [&d](const nlohmann::json&) { return d.No(); });
    command("/api/format/cancel", [&d](const nlohmann::json&) { return d.Cancel(); });
    s.Get(kFramePath, [&d](const httplib::Request& req, httplib::Response& res) {
        size_t q = req.target.find('?');
        auto answer = d.Frame(q == std::string::npos ? "" : req.target.substr(q + 1), req.get_header_value("Host"));
        res.status = answer.status;
        res.set_content(answer.body, answer.type.c_str());
        // The server's own policy is not added over these (see the post-routing handler).
        res.set_header("Content-Security-Policy", kFrameCsp);
        res.set_header("X-Frame-Options", "SAMEORIGIN");
    });
}

}  // namespace plover::web
