#pragma once
// A site's page shown inside the format determination's frame. The page is fetched by Plover and
// served from Plover's own address, so the window can follow where the user goes in it: every
// link and every form of the page is turned to lead back through Plover (the form's fields then
// arrive with the address they were meant for), a <base> names the page's own address so that
// its pictures and styles still load from its site, and a refresh in the page's head is
// disarmed. The page's scripts never run (the answer forbids them), so the user works with the
// page's plain links and forms, which is what a search site's first page offers.
//
//   <a href="/find?x=1">       ->  <a href="RELAY?plover-key=K&plover-url=http%3A%2F%2Fsite%2Ffind%3Fx%3D1">
//   <form action="/find">      ->  <form action="RELAY" method="get"> + hidden plover-key,
//                                  plover-url (the action as an address) and plover-form=1
#include <string>
#include <string_view>
#include <vector>

namespace plover::web {

inline constexpr const char* kFrameKeyParam = "plover-key";
inline constexpr const char* kFrameUrlParam = "plover-url";
inline constexpr const char* kFrameFormParam = "plover-form";

// relay: the absolute address of the frame's route ("http://127.0.0.1:PORT/api/format/frame").
std::string RewriteFramePage(std::string_view html, const std::string& pageUrl, const std::string& relay,
                             const std::string& key);

// The address a request of the frame's route leads to, from its raw query: a link's plover-url
// as it is; a form's plover-url without its query, then the form's own fields as the browser
// sent them, in their order. Empty when the query names no address.
std::string FrameTarget(std::string_view rawQuery);

// "%XX" for every byte but letters, digits and -._~.
std::string PercentEncode(std::string_view text);

}  // namespace plover::web
