#pragma once
// How a link found on a page (an href or src value, as written) becomes an absolute address,
// given the address the page was fetched from (the base). Pages have no base element of their
// own here: links are always resolved against the fetched address.
//
//   "http://x/a.jpg", "mailto:me"  a link with a scheme is used as it stands;
//   "//cdn/a.jpg"                   takes the scheme of the base;
//   "/a/b3.htm"                     the base's scheme, server and port, then the link;
//   "?page=2", "#top"               the base's path, then the link;
//   "" (empty)                      the base itself, without its fragment;
//   "../c4.htm", "big/p1.jpg"       the base's folder, one level up per leading "../" (never
//                                   above the server's root), then the rest of the link.
//
// The query and fragment of the base never take part in finding its folder. Character
// references (&amp;) and dot segments inside the link are left as written.
#include <string>
#include <string_view>

namespace plover {

std::string ResolveUrl(std::string_view link, std::string_view base);

}  // namespace plover
