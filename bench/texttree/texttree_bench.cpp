// Text tree save and load of a download list of 10000 downloads, against writing and reading the
// same bytes with cat.
//
//   bench_texttree [FOLDER] [DOWNLOADS]   (default: $TMPDIR or /tmp, 10000)
//
// Save writes a temporary file, flushes it to disk (fsync) and renames it; the time without the
// flush (serializing and writing only) is shown too, as cat does not flush.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "texttree/text_tree.h"

using namespace plover;
using Clock = std::chrono::steady_clock;

namespace {

void WriteDownload(CTextTree& tree, uint32_t i) {
    tree.OpenGroup("DNL");
    std::string url = "http://www.example.com/galleries/set" + std::to_string(i / 500) + "/big/picture_" +
                      std::to_string(i) + ".jpg";
    tree.WriteString("URL_original", url);
    tree.WriteString("URL_remote", url);
    tree.WriteString("LocalFolder", "/home/user/Pictures/Summer");
    tree.WriteNumber("Prior", 5);
    tree.WriteNumber("ClientID", 1000 + i % 7);
    tree.WriteString("csPrevServer", "www.example.com");
    tree.WriteString("FileName", "picture_" + std::to_string(i) + ".jpg");
    if (i % 10 == 0) {
        tree.OpenGroup("LOGIN");
        tree.WriteNumber("Login", 1);
        tree.WriteString("Username", "user");
        tree.WriteString("Password", "secret", true);
        tree.CloseGroup();
    }
    tree.WriteNumber("Flags", 0);
    tree.WriteNumber("ID", i + 1);
    tree.WriteNumber("Head_FSize", 100000 + i);
    tree.WriteNumber("Status", 3);
    tree.OpenGroup("SECT_LIST");
    for (uint32_t s = 0; s < 3; ++s) {
        tree.OpenGroup("SECT");
        tree.WriteNumber("Start", s * 30000);
        tree.WriteNumber("Size", 20000 + i % 1000);
        tree.CloseGroup();
    }
    tree.CloseGroup();
    tree.CloseGroup();
}

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double TimeCommand(const std::string& command) {
    auto t0 = Clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    return Seconds(t0);
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    std::filesystem::path folder = argc > 1 ? argv[1] : (tmp ? tmp : "/tmp");
    uint32_t count = argc > 2 ? uint32_t(std::atoi(argv[2])) : 10000;
    std::filesystem::path list = folder / "bench_texttree.fll", copy = folder / "bench_texttree_cat.fll";

    CTextTree tree;
    tree.OpenGroup("DNL_LIST");
    for (uint32_t i = 0; i < count; ++i) WriteDownload(tree, i);
    tree.CloseGroup();

    auto t0 = Clock::now();
    std::string text = tree.Serialize();
    double serialize = Seconds(t0);
    t0 = Clock::now();
    if (!tree.Save(list.string())) return 1;
    double save = Seconds(t0);

    CTextTree loaded;
    t0 = Clock::now();
    if (!loaded.Load(list.string())) return 1;
    double load = Seconds(t0);
    loaded.EnterGroup("DNL_LIST");
    if (loaded.GetCurrent().GetChildCount() != count) return 1;

    double catWrite = TimeCommand("cat '" + list.string() + "' > '" + copy.string() + "'");
    double catRead = TimeCommand("cat '" + list.string() + "' > /dev/null");
    double mb = double(text.size()) / 1e6;
    std::printf("list: %u downloads, %.1f MB\n", count, mb);
    std::printf("save: %.1f ms (serialize %.1f ms; write, fsync, rename the rest)   cat write: %.1f ms\n",
                save * 1e3, serialize * 1e3, catWrite * 1e3);
    std::printf("load: %.1f ms (%.0f MB/s)   cat read: %.1f ms\n", load * 1e3, mb / load, catRead * 1e3);
    std::filesystem::remove(list);
    std::filesystem::remove(copy);
    return 0;
}
