#pragma once
// The JSON commands of the baskets pane and the basket window. Baskets are named by their ID,
// files and folders by their absolute paths as the listings give them (the basket's own folder
// followed by the names below it); every path is checked against the basket's folder
// (allowed_paths.h) before anything is read or changed. The download history follows every change:
// a renamed file (RenamePath), a renamed folder (MoveUnder), deleted files (ForgetPaths), a deleted
// folder (ForgetUnder), moved files (the move job's RenamePath) and a basket whose folder was moved
// elsewhere (MoveUnder, or RenamePath for each file found under the new folder).
//
//   GET  /api/baskets                     the baskets with their folders and counts, and the view settings
//   POST /api/baskets                     {"name","folder","dispatch":0|1?}        a new basket -> {"id","name","folder"}
//   POST /api/baskets/ID/edit             {"name","folder","dispatch":0|1?}        -> {"id","name","folder"}
//   POST /api/baskets/ID/delete           the basket goes; its folder and files stay
//   POST /api/baskets/view                {"mode":0|1?,"contentMode":0|1?,"thumb":[W,H]?}
//   GET  /api/baskets/ID/files?path=P     the folders and files of folder P (the basket's folder when absent)
//   POST /api/baskets/ID/rename           {"path","name"}      a file or folder, the basket's folder too
//   POST /api/baskets/ID/remove           {"paths":[...]}      files and folders (never the basket's folder)
//   POST /api/baskets/ID/newFolder        {"path","name"}      a folder named name in folder path
//   POST /api/baskets/move                {"files":[...],"folder","anyFiles"?}  starts the move job -> {"job":N}
//                                         (anyFiles: the files may lie outside the baskets, as the
//                                         command line's move takes them; the folder is a basket's)
//   GET  /api/moves                       the state of the running or last move job
//   POST /api/moves/N/answer              {"answer":"Overwrite"|"Overwrite All"|"Skip"|"Skip All"}
//   POST /api/moves/N/cancel
//   GET  /api/history/address?address=A   what the history knows of an address, as a scan shows it
//
// Refusals carry the basket rules' own messages ("An invalid folder is specified", the overlap
// message, "Basket name cannot be empty", "Basket root folder cannot be deleted.").
#include <string>

#include <nlohmann/json.hpp>

#include "web/web_api.h"

namespace plover::web {

class CBasketService;

SApiAnswer ListBaskets(CBasketService& service);
SApiAnswer AddBasket(CBasketService& service, const nlohmann::json& body);
SApiAnswer EditBasket(CBasketService& service, int id, const nlohmann::json& body);
SApiAnswer DeleteBasket(CBasketService& service, int id);
SApiAnswer SetBasketView(const nlohmann::json& body);

SApiAnswer ListBasketFolder(CBasketService& service, int id, const std::string& path);
SApiAnswer RenameInBasket(CBasketService& service, int id, const nlohmann::json& body);
SApiAnswer RemoveFromBasket(CBasketService& service, int id, const nlohmann::json& body);
SApiAnswer NewBasketFolder(CBasketService& service, int id, const nlohmann::json& body);

SApiAnswer StartMove(CBasketService& service, const nlohmann::json& body);
SApiAnswer MoveState(CBasketService& service);
SApiAnswer AnswerMove(CBasketService& service, uint64_t job, const nlohmann::json& body);
SApiAnswer CancelMove(CBasketService& service, uint64_t job);

SApiAnswer HistoryOfAddress(const std::string& address);

}  // namespace plover::web
