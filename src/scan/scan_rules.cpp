#include "scan/scan_rules.h"

#include <strings.h>

#include <algorithm>

#include "download/page_test.h"
#include "platform/url_split.h"

namespace plover {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

constexpr int32_t kDefaultMaxPageMiB = 32;

}  // namespace

uint64_t MaxPageBytes(int32_t megabytes) {
    return uint64_t(megabytes < 1 ? kDefaultMaxPageMiB : megabytes) * 1048576u;
}

std::string PageTooLargeText(int32_t megabytes) {
    return "Page too large: more than " + std::to_string(MaxPageBytes(megabytes) / 1048576u) +
           " MiB (the limit is the setting iMaxPageSize)";
}

bool IsPictureUrl(std::string_view url) {
    size_t dot = url.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string_view ext = url.substr(dot + 1);
    static constexpr std::string_view kPictures[] = {"jpg", "jpeg", "tif", "tiff", "png", "pcx", "bmp",
                                                      "webp", "avif"};
    return std::any_of(std::begin(kPictures), std::end(kPictures), [&](std::string_view p) {
        return ext.size() == p.size() && strncasecmp(ext.data(), p.data(), p.size()) == 0;
    });
}

std::string OtherPictureFormat(std::string_view url) {
    size_t end = url.find_first_of("?#");
    std::string_view path = url.substr(0, end);
    size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.find('/', dot) != std::string_view::npos) return {};
    std::string ext = UrlKey(path.substr(dot + 1));
    static constexpr std::string_view kOthers[] = {"gif", "svg", "ico", "heic", "heif", "jxl", "jp2", "apng"};
    for (std::string_view other : kOthers)
        if (ext == other) {
            for (char& c : ext) c = char(c - 'a' + 'A');
            return ext;
        }
    return {};
}

bool HasDigit(std::string_view url) {
    size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) {
        size_t path = url.find_first_of("/?#", scheme + 3);
        url = path == std::string_view::npos ? std::string_view() : url.substr(path);
    }
    return std::any_of(url.begin(), url.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsFetchableUrl(std::string_view url) {
    SUrlParts parts;
    return SplitUrl(url, parts) && (parts.service == kServiceHttp || parts.service == kServiceHttps || parts.service == kServiceFtp);
}

std::string UrlHost(std::string_view url) {
    SUrlParts parts;
    if (SplitUrl(url, parts)) return parts.server;
    // Not an address the splitter takes: the text between "://" and the next '/', if any.
    size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return {};
    std::string_view rest = url.substr(scheme + 3);
    return std::string(rest.substr(0, rest.find('/')));
}

SLinkPlace PlaceOfLink(std::string_view url, std::string_view startSite) {
    SLinkPlace place;
    SUrlParts parts;
    if (!SplitUrl(url, parts)) {
        place.onStartSite = SameUrlNoCase(UrlHost(url), startSite);
        return place;
    }
    place.fetchable = parts.service == kServiceHttp || parts.service == kServiceHttps || parts.service == kServiceFtp;
    place.onStartSite = SameUrlNoCase(parts.server, startSite);
    return place;
}

std::string UrlFilePart(std::string_view url) {
    size_t slash = url.rfind('/');
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

bool SameUrlNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string UrlKey(std::string_view url) {
    std::string key(url);
    for (char& c : key) c = Lower(c);
    return key;
}

bool SkipsThumbnailLink(const SScanProfile& profile, bool rawHrefIsPicture, bool first) {
    return rawHrefIsPicture && profile.bRecurse && profile.bOneThumbnailFromEach && !first;
}

bool IsNewThumbnail(const SAnchorFacts& f) {
    return f.imageLink && IsPictureUrl(f.link) && IsPictureUrl(f.picture) && !f.pictureSeen;
}

SAnchorDecision DecideAnchor(const SScanProfile& profile, const SAnchorFacts& f) {
    if (f.imageLink) {
        if (IsNewThumbnail(f)) return {EAnchorOutcome::Thumbnail, profile.bThumbnails != 0};
        if (f.followPicturePages && !f.onPicturePage && f.fetchable && !IsPictureUrl(f.link) && LooksLikePage(f.link) &&
            !f.visited && (!profile.bOnlyThisSite || f.onStartSite))
            return {EAnchorOutcome::PicturePage, false};
    } else if (profile.bRecurse && !f.onPicturePage && f.depth < profile.iDepth && f.fetchable && LooksLikePage(f.link) &&
               HasDigit(f.link) && !f.visited) {
        if (profile.bOnlyThisSite && !f.onStartSite) return {EAnchorOutcome::OffSite, false};
        return {EAnchorOutcome::QueuePage, false};
    }
    return {EAnchorOutcome::PageLink, !f.linkSeen && profile.bLinks != 0};
}

bool IsLargePicture(const SScanProfile& profile, std::string_view picture, bool thumbnailSeen, bool largeSeen) {
    return IsPictureUrl(picture) && !thumbnailSeen && !largeSeen && profile.bLargePictures != 0;
}

int PagesToRequest(int inFlight, int queued) { return std::max(0, std::min(queued, kMaxPagesInFlight - inFlight)); }

bool ScanHasEnded(int queued, int inFlight, int undelivered) {
    return queued == 0 && inFlight == 0 && undelivered == 0;
}

}  // namespace plover
