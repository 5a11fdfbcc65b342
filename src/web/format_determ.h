#pragma once
// The search-site format determination in the browser: its two-pane window shows the site's page
// in an inner frame and, beside it, the prompt, Yes and No and the template found. The dialog's
// logic is the program's own (CSearchEngineFormatDetermDlg); this file lends it a browser: the
// frame, whose pages Plover fetches through the page manager and serves from its own address
// (frame_page.h), so it knows which address the frame shows and when it has loaded. The window
// forwards the dialog's check timer and its buttons. One determination runs at a time; starting
// another ends the one before.
//
//   POST /api/format/start   {"site"}: the site's address (a search site's name); refused with
//                            "Please enter the searching engine site." without one
//   GET  /api/format         the state below;  POST /api/format/check  runs the check timer once
//   POST /api/format/yes, /api/format/no, /api/format/cancel
//   state: {"id","site","stage","prompt","buttons","checking","blinking","result" ("running",
//           "determined", "closed"),"template","message","frame" (the address the frame is to
//           open),"navigation" (counts the dialog's navigations),"address" (what the frame shows)}
//   GET  /api/format/frame?plover-key=K&plover-url=U[...]  the site's page for the frame
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace httplib {
class Server;
}

namespace plover {
class CSearchEngineFormatDetermDlg;
}

namespace plover::web {

class CFormatDetermination {
public:
    CFormatDetermination();
    ~CFormatDetermination();

    SApiAnswer Start(const nlohmann::json& body);
    SApiAnswer State();
    SApiAnswer Check();
    SApiAnswer Yes();
    SApiAnswer No();
    SApiAnswer Cancel();

    // The frame's page: status and the body with its content type. host is the request's Host
    // (the guard has checked it), for the frame's addresses back to this route.
    struct SFrameAnswer {
        int status = 200;
        std::string body, type = "text/html";  // the page's own charset (its meta) rules
    };
    SFrameAnswer Frame(const std::string& rawQuery, const std::string& host);

private:
    struct SSession;
    nlohmann::json StateJson();
    // One step of the determination in answer to the page, unless the user has cancelled it.
    SApiAnswer Step(void (CSearchEngineFormatDetermDlg::*step)());
    std::mutex lock_;
    std::shared_ptr<SSession> session_;
    int lastId_ = 0;
};

void InstallFormatRoutes(httplib::Server& server, CFormatDetermination& determination);

}  // namespace plover::web
