#include "cli/scan_results.h"

#include <nlohmann/json.hpp>

namespace plover::cli {
namespace {

std::string MarkSuffix(EDownloadMark mark) {
    const char* text = DownloadMarkText(mark);
    return *text ? std::string("  [") + text + "]" : std::string();
}

std::vector<const SScanResult*> OfType(const SScanReport& report, EScanElementType type) {
    std::vector<const SScanResult*> out;
    for (const SScanResult& r : report.results)
        if (r.type == type) out.push_back(&r);
    return out;
}

}  // namespace

std::string ScanProgressText(int pages, int remaining, size_t thumbnails, int links) {
    return "Scanning: " + std::to_string(pages) + " pages scanned, " + std::to_string(remaining) + " remaining, " +
           std::to_string(thumbnails) + " thumbnails, " + std::to_string(links) + " links";
}

void PrintScanText(std::ostream& out, const SScanReport& report) {
    auto thumbnails = OfType(report, SCAN_THUMBNAIL), pictures = OfType(report, SCAN_LARGE_PIC),
         links = OfType(report, SCAN_PAGE_LINK);
    out << report.title << "\n" << report.startUrl << "\n";
    if (!thumbnails.empty()) {
        out << "\nThumbnails (" << thumbnails.size() << "):\n";
        for (const SScanResult* r : thumbnails)
            out << "  " << r->url << MarkSuffix(r->mark) << "\n    thumbnail " << r->thumbnailUrl << "\n    page      "
                << r->page << "\n";
    }
    if (!pictures.empty()) {
        out << "\nLarge pictures (" << pictures.size() << "):\n";
        for (const SScanResult* r : pictures) out << "  " << r->url << MarkSuffix(r->mark) << "\n    page      " << r->page << "\n";
    }
    if (!links.empty()) {
        out << "\nPage links (" << links.size() << "):\n";
        for (const SScanResult* r : links) {
            out << "  " << r->url << MarkSuffix(r->mark) << "\n";
            if (!r->text.empty()) out << "    text      " << r->text << "\n";
            out << "    page      " << r->page << "\n";
        }
    }
    out << "\n"
        << report.pagesScanned << " pages scanned: " << thumbnails.size() << " thumbnails, " << pictures.size()
        << " large pictures, " << links.size() << " page links.\n";
}

void PrintScanJson(std::ostream& out, const SScanReport& report) {
    using nlohmann::json;
    auto line = [&out](const json& j) { out << j.dump(-1, ' ', false, json::error_handler_t::replace) << "\n"; };
    auto withMark = [](json j, EDownloadMark mark) {
        if (mark != EDownloadMark::None) j["mark"] = DownloadMarkText(mark);
        return j;
    };
    line({{"type", "page"}, {"url", report.startUrl}, {"requested", report.requested}, {"title", report.title}});
    auto thumbnails = OfType(report, SCAN_THUMBNAIL), pictures = OfType(report, SCAN_LARGE_PIC),
         links = OfType(report, SCAN_PAGE_LINK);
    for (const SScanResult* t : thumbnails) {
        json j = {{"type", "thumbnail"}, {"url", t->url}, {"thumbnail", t->thumbnailUrl}, {"text", t->text},
                  {"page", t->page}, {"pageTitle", t->pageTitle}};
        if (!t->thumbnailFile.empty()) j["thumbnailFile"] = t->thumbnailFile;
        line(withMark(j, t->mark));
    }
    for (const SScanResult* p : pictures) line(withMark({{"type", "picture"}, {"url", p->url}, {"page", p->page}}, p->mark));
    for (const SScanResult* l : links)
        line(withMark({{"type", "link"}, {"url", l->url}, {"text", l->text}, {"page", l->page}, {"pageTitle", l->pageTitle}},
                      l->mark));
    line({{"type", "summary"},
          {"pagesScanned", report.pagesScanned},
          {"thumbnails", thumbnails.size()},
          {"largePictures", pictures.size()},
          {"links", links.size()},
          {"thumbnailsFetched", report.thumbnailsFetched},
          {"complete", report.complete}});
}

}  // namespace plover::cli
