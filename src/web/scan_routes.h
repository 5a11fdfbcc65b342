#pragma once
// The scan documents' part of the server:
//
//   GET  /scan?url=ADDRESS&profile=NAME|NUMBER   the main window, opening a started scan document
//   GET  /api/scan                               {"docs":[state...],"pictures":"/scan-pictures/NONCE"}
//   GET  /api/scan/choices                       {"profiles","searchSites","baskets"}
//   POST /api/scan            {"url"?, "search"?: {"site","text"}, "profile"?, "overrides"?, "start"?,
//                              "reload"?}  a new document
//   GET  /api/scan/DOC/items?from=N&count=M&detail=1   results N.. of a document, with its state
//   POST /api/scan/DOC/ACTION start | reload {"url"?,"profile"?,"overrides"?} | stop | close |
//                             send {"basket","items":[...]} | preview {"item"} |
//                             login {"user","password","store"?} | cancelLogin
//   POST /api/scan/sends/ID/cancel               stops a "Send to basket"
//   GET  /scan-pictures/NONCE/DOC/RUN/ITEM       a result's small picture (from the page cache)
//   GET  /scan-pictures/NONCE/DOC/large/ITEM     a result's picture as the history knows it
//
// The server's guard (token, Host, Origin) stands in front of every one of them. Pictures are
// named by numbers only; the file behind a number is resolved and must lie in an allowed folder.
namespace httplib {
class Server;
}

namespace plover::web {

class CScanService;

void InstallScanRoutes(httplib::Server& server, CScanService& scans);

}  // namespace plover::web
