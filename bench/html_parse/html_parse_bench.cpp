// HTML parser throughput and memory on a large generated gallery page.
//
//   bench_html_parse generate FILE MIB   writes a gallery-like page of about MIB mebibytes:
//                                        tables of thumbnail links, captions, text, comments,
//                                        quoted and unquoted attributes, character references
//   bench_html_parse parse FILE [RUNS]   parses it with ParseFile RUNS times (default 3) and
//                                        prints the best rate in MB/s (10^6 bytes a second) and
//                                        the memory used against the size of the input
//
// bench/html_parse/run.sh runs both and xmllint --html on the same file.
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "html/html_parser.h"

using namespace plover;

namespace {

std::string Entry(size_t i) {
    char id[24];  // room for any size_t
    std::snprintf(id, sizeof id, "%06zu", i);
    std::string gallery = "http://www.example.com/galleries/set" + std::to_string(i / 500);
    std::string s;
    s += "<td class=\"thumb\" align=center valign=\"top\">";
    s += "<a href=\"" + gallery + "/big/picture_" + id + ".jpg\" title=\"Picture " + std::to_string(i) + "\">";
    s += "<img src=\"" + gallery + "/thumbs/picture_" + id + ".jpg\" width=\"150\" height=112 border=0";
    s += " alt=\"Summer &amp; sea, picture " + std::to_string(i) + "\"></a><br>\n";
    s += "  <font size=\"-1\">picture_" + std::string(id) + ".jpg<br>1024 x 768, " + std::to_string(40 + i % 200) +
         " KB</font></td>\n";
    return s;
}

std::string Row(size_t first) {
    std::string s = "<tr>\n";
    for (size_t i = first; i < first + 4; ++i) s += Entry(i);
    s += "</tr>\n<!-- row " + std::to_string(first / 4) + ": four pictures, \"quoted\" words -->\n";
    if (first % 40 == 0)
        s += "<tr><td colspan=4><p>Pictures " + std::to_string(first) +
             " and onwards were taken on the coast; <b>all</b> are free for personal use. <a href=\"page" +
             std::to_string(first / 40 + 2) + ".html\">Next page</a></p></td></tr>\n";
    return s;
}

int Generate(const char* path, double mib) {
    std::ofstream out(path, std::ios::binary);
    size_t target = size_t(mib * 1024 * 1024), written = 0;
    std::string head =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html><head>\n"
        "<title>Summer gallery</title>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
        "</head>\n<body bgcolor=\"#ffffff\">\n<h1>Summer gallery</h1>\n";
    out << head;
    written += head.size();
    for (size_t first = 0; written < target;) {
        std::string table = "<table border=\"0\" cellpadding=4 cellspacing=\"2\" width=\"100%\">\n";
        for (int r = 0; r < 25; ++r, first += 4) table += Row(first);
        table += "</table>\n";
        out << table;
        written += table.size();
    }
    out << "</body></html>\n";
    return out ? 0 : 1;
}

// User and system time of this process, which a loaded machine does not inflate.
double CpuSeconds() {
    struct timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

long PeakRssKiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

int Parse(const char* path, int runs) {
    long before = PeakRssKiB();
    double best = 1e30, bestCpu = 1e30;
    size_t nodes = 0, anchors = 0, images = 0, treeBytes = 0, size = 0;
    for (int r = 0; r < runs; ++r) {
        CHTMLParser parser;
        auto t0 = std::chrono::steady_clock::now();
        double c0 = CpuSeconds();
        if (!parser.ParseFile(path)) return 1;
        bestCpu = std::min(bestCpu, CpuSeconds() - c0);
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
        std::vector<CHTMLNode*> a, i;
        parser.CollectAnchors(a);
        parser.CollectImages(i);
        nodes = parser.GetNodeCount();
        anchors = a.size();
        images = i.size();
        treeBytes = parser.GetMemoryUse();
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    size = size_t(in.tellg());
    double mb = double(size) / 1e6;
    long peak = PeakRssKiB();
    std::printf("input: %.1f MB, %zu elements (%zu anchors, %zu images)\n", mb, nodes, anchors, images);
    std::printf("plover: %.3f s, MB/s: %.1f (best of %d, file read included); CPU %.3f s, CPU MB/s: %.1f\n", best,
                mb / best, runs, bestCpu, mb / bestCpu);
    std::printf("tree: %.1f MB = %.2fx input; peak RSS growth %.1f MB = %.2fx input (with the file buffer)\n",
                double(treeBytes) / 1e6, double(treeBytes) / double(size), double(peak - before) * 1024 / 1e6,
                double(peak - before) * 1024 / double(size));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 4) return Generate(argv[2], std::atof(argv[3]));
    if (mode == "parse" && argc >= 3) return Parse(argv[2], argc > 3 ? std::atoi(argv[3]) : 3);
    std::fprintf(stderr, "usage: %s generate FILE MIB | parse FILE [RUNS]\n", argv[0]);
    return 2;
}
