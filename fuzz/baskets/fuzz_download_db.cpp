// Feeds arbitrary bytes to the reader of "DownloadDB.sdb". Nothing may crash, hang or allocate
// beyond what the bytes justify; a file that is refused gives empty lists; a file that is taken
// gives two lists of equal length that are written and read back to the same lists, and a
// history loaded from it holds each address once, in ascending order, beside a path of the file.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>

#include "baskets/db_file.h"
#include "baskets/download_db.h"

using namespace plover;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> addresses, paths;
    if (DecodeDownloadDB(bytes, addresses, paths) != EDownloadDBRead::Loaded) {
        if (!addresses.empty() || !paths.empty()) abort();
        return 0;
    }
    if (addresses.size() != paths.size()) abort();
    std::string written = EncodeDownloadDB(addresses, paths);
    std::vector<std::string> a2, p2;
    if (DecodeDownloadDB(written, a2, p2) != EDownloadDBRead::Loaded || a2 != addresses || p2 != paths) abort();

    // Through the history itself.
    static const std::string file = "/tmp/fuzz_download_db." + std::to_string(::getpid());
    FILE* f = fopen(file.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    CDownloadDB db;
    if (db.Load(file).status != SDownloadDBLoad::EStatus::Loaded) abort();
    std::set<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < addresses.size(); ++i) pairs.insert({addresses[i], paths[i]});
    auto entries = db.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && !(entries[i - 1].first < entries[i].first)) abort();
        if (!pairs.count(entries[i])) abort();
    }
    unlink(file.c_str());
    return 0;
}
