#pragma once
// The page scanner's decisions as pure rules, each readable and testable as a table: which
// addresses are pictures and pages, what an anchor of a page becomes (a thumbnail, a page to scan,
// a page link), which images are large pictures, and how many queued pages may be requested.
//
// An anchor is decided in this order:
//  1. an image link whose linked address and small picture are both pictures, with a small picture
//     not seen before in this scan, is a thumbnail (reported when thumbnails are collected);
//  2. otherwise a link that is not an image link is a page to scan when the profile recurses, the
//     page lies above the depth limit, the address can be fetched, looks like a page and holds a
//     digit in its path, and it was not visited; it is then marked visited, and is dropped instead of queued when it lies on
//     another site and only this site is scanned;
//  3. when picture pages are followed, an image link that opens a page (not a picture), not
//     visited and allowed by the site rule, is queued as a picture page, whatever the profile's
//     recursion and depth: its large picture is what the small picture stands for;
//  4. anything else is a page link, reported the first time its address is seen (when links are
//     collected).
// Consequences: a link queued for scanning is reported as a page link only at a later sight; an
// off-site page refused at its first sight is reported at its second; a thumbnail whose small
// picture was already seen is a page link; a thumbnail's picture is never a large picture.
#include <cstdint>
#include <string>
#include <string_view>

#include "scan/scan_profile.h"

namespace plover {

// The most pages requested at once; thumbnails' small pictures are requested besides these.
constexpr int kMaxPagesInFlight = 5;

// The format name ("GIF", "SVG", ...) of an address that names a picture the scan does not take
// (IsPictureUrl is false for it); empty for anything else.
std::string OtherPictureFormat(std::string_view url);

// A page is parsed only up to this size (the setting iMaxPageSize, in MiB): the parser holds
// the page and its tree in memory, several times the page's size. A larger page fails with
// PageTooLargeText.
uint64_t MaxPageBytes(int32_t megabytes);
std::string PageTooLargeText(int32_t megabytes);

// The text after the last '.' is, ignoring case, jpg, jpeg, tif, tiff, png, pcx, bmp,
// webp or avif (not gif).
bool IsPictureUrl(std::string_view url);
// The address holds a decimal digit after its scheme and server: the name of a numbered page
// ("page2.html"), not the digits of a numeric host or of a port, which every link of such a site
// shares. Text that is not an address with a server is looked at whole.
bool HasDigit(std::string_view url);
// The address names a server that the downloader can fetch from (http or ftp).
bool IsFetchableUrl(std::string_view url);
// The server part of an absolute address ("" when it has none), without login and port.
std::string UrlHost(std::string_view url);
// Where a link leads, from one look at the address: whether it can be fetched (as IsFetchableUrl)
// and whether its server is `startSite` (as comparing UrlHost, case aside).
struct SLinkPlace {
    bool fetchable = false;
    bool onStartSite = false;
};
SLinkPlace PlaceOfLink(std::string_view url, std::string_view startSite);
// The text after the last '/' (the whole address when it has none).
std::string UrlFilePart(std::string_view url);
// ASCII case-insensitive equality and the lower-case key of an address for the scan's sets.
bool SameUrlNoCase(std::string_view a, std::string_view b);
std::string UrlKey(std::string_view url);

// Whether an anchor is passed over because only the first thumbnail link of each page counts:
// rawHrefIsPicture: an image link whose href, as written, passes the picture test; first: no such
// link was taken on this page yet.
bool SkipsThumbnailLink(const SScanProfile& profile, bool rawHrefIsPicture, bool first);

// What is known about one anchor when it is decided.
struct SAnchorFacts {
    bool imageLink = false;     // its first child is an img element
    std::string_view link;      // its href resolved against the page
    std::string_view picture;   // an image link's img src resolved against the page
    int32_t depth = 0;          // the depth of the page it is on (the start page is 0)
    bool pictureSeen = false;   // picture is in the thumbnail-picture set
    bool visited = false;       // link is in the visited set
    bool linkSeen = false;      // link is in the link set
    bool onStartSite = true;    // link's host equals the start site (ignoring case)
    bool fetchable = true;      // link is an http or ftp address
    bool followPicturePages = false;  // an image link that opens a page is scanned for its picture
    bool onPicturePage = false;       // the page was reached that way: no further page is queued
};

enum class EAnchorOutcome {
    Thumbnail,  // add picture to the thumbnail-picture set; if report: a thumbnail, and fetch picture
    QueuePage,  // mark link visited at depth + 1 and queue it
    OffSite,    // mark link visited at depth + 1; nothing else
    PageLink,   // add link to the link set; if report: a page link
    PicturePage,  // mark link visited at depth + 1 and queue it as a picture page
};
struct SAnchorDecision {
    EAnchorOutcome outcome = EAnchorOutcome::PageLink;
    bool report = false;
    bool operator==(const SAnchorDecision&) const = default;
};

SAnchorDecision DecideAnchor(const SScanProfile& profile, const SAnchorFacts& facts);
// The first rule of DecideAnchor: an image link from a picture to a picture not seen before is a
// thumbnail, whatever else is true of it. The scanner looks nothing else up for such a link.
bool IsNewThumbnail(const SAnchorFacts& facts);

// An img element whose src resolved to `picture` is a large picture.
bool IsLargePicture(const SScanProfile& profile, std::string_view picture, bool thumbnailSeen, bool largeSeen);

// How many queued pages to request now.
int PagesToRequest(int inFlight, int queued);

// A scan has ended when nothing is queued, in flight or waiting for delivery.
bool ScanHasEnded(int queued, int inFlight, int undelivered);

}  // namespace plover
