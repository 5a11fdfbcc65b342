#pragma once
// The routes of the baskets pane, the basket window and the image viewer (basket_api.h,
// picture_api.h, external_viewer.h), added to the server before it starts. They sit behind the
// same guard as every route (token, Host, Origin); commands take JSON bodies only, as everywhere.
namespace httplib {
class Server;
}

namespace plover::web {

class CBasketService;

void InstallBasketRoutes(httplib::Server& server, CBasketService& service);

}  // namespace plover::web
