// Load and save of a page cache index of 100000 rows: the index file alone (serializing, writing
// through a temporary file and a rename; reading and parsing with every check), and the page
// manager's start (load and sweep) and stop (save) on a folder holding that index. Also the cost
// of one more row inserted in the middle of the sorted columns.
//
//   bench_cache_index [FOLDER] [ROWS]   (default: $TMPDIR or /tmp, 100000)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "app/settings.h"
#include "engine/engine_end_watch.h"
#include "platform/event.h"
#include "scan/cache_index.h"
#include "scan/page_mgr.h"
#include "scan/page_mgr_files.h"

using namespace plover;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// Processor time of the whole process in ms: on a busy machine the wall time mostly measures the
// others, so both are shown.
double CpuMs() { return std::clock() * 1000.0 / CLOCKS_PER_SEC; }

CCacheIndex MakeIndex(int rows) {
    CCacheIndex index;
    char key[32], name[32];
    for (int i = 0; i < rows; ++i) {
        std::snprintf(key, sizeof key, "set%03d/picture_%06d", i / 500, i);
        std::snprintf(name, sizeof name, "srch%X.tmp", 0x10000000u + unsigned(i) * 2654435761u % 0xEFFFFFFFu);
        std::string url = std::string("http://www.example.com/galleries/") + key + (i % 3 ? ".jpg" : ".html");
        index.Add(url, url, name, i % 2 ? "Tue, 02 Jan 2024 10:20:30 GMT" : "", 5000 + uint32_t(i % 40000));
    }
    return index;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    fs::path base = argc > 1 ? fs::path(argv[1]) : fs::path(tmp && *tmp ? tmp : "/tmp");
    int rows = argc > 2 ? std::atoi(argv[2]) : 100000;
    fs::path dir = base / ("plover_bench_cache_" + std::to_string(::getpid()));
    fs::create_directories(dir);

    auto t = Clock::now();
    CCacheIndex index = MakeIndex(rows);
    double build = Ms(t);

    t = Clock::now();
    double c = CpuMs();
    std::string bytes = index.Serialize();
    WriteFileAtomically(dir / kCacheIndexName, bytes);
    double save = Ms(t), saveCpu = CpuMs() - c;

    t = Clock::now();
    c = CpuMs();
    std::string read;
    bool opened = false;
    ReadSmallFile(dir / kCacheIndexName, kMaxCacheIndexBytes, &read, &opened);
    CCacheIndex loaded;
    ECacheIndexLoad result = loaded.Parse(read);
    double load = Ms(t), loadCpu = CpuMs() - c;
    if (result != ECacheIndexLoad::Loaded || loaded.GetCount() != rows) {
        std::fprintf(stderr, "load failed: %s\n", CacheIndexLoadText(result));
        return 1;
    }

    // One more row in the middle of 100000 sorted rows.
    t = Clock::now();
    for (int i = 0; i < 100; ++i) loaded.Add("http://www.example.com/galleries/set050/x" + std::to_string(i), "e", "srchZ.tmp", "", 1);
    double insert = Ms(t) / 100;

    // The page manager's own start (load, sweep of the folder) and stop (save).
    GetSettings().csCacheFolder = dir.string();
    CEngineEndWatch end;
    auto pm = CPageMgr::Create(nullptr);
    pm->SetProgress(&end);
    t = Clock::now();
    c = CpuMs();
    pm->Start();
    pm->WaitUntilLoaded();
    double start = Ms(t), startCpu = CpuMs() - c;
    int count = pm->GetCachedCount();
    t = Clock::now();
    c = CpuMs();
    pm->Stop();
    end.ended.Wait();
    double stop = Ms(t), stopCpu = CpuMs() - c;
    pm.Reset();

    std::printf("cache index of %d rows, %.1f MB file (built in %.0f ms)\n", count, bytes.size() / 1048576.0, build);
    std::printf("save (serialize, write, rename):  %7.1f ms wall, %7.1f ms processor\n", save, saveCpu);
    std::printf("load (read, parse, check):        %7.1f ms wall, %7.1f ms processor\n", load, loadCpu);
    std::printf("page manager start (load, sweep): %7.1f ms wall, %7.1f ms processor\n", start, startCpu);
    std::printf("page manager stop (save):         %7.1f ms wall, %7.1f ms processor\n", stop, stopCpu);
    std::printf("one more row inserted in the middle: %.3f ms\n", insert);
    fs::remove_all(dir);
    return 0;
}
