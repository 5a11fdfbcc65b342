// Feeds arbitrary bytes to the page cache's index reader. Nothing may crash, hang or allocate
// beyond what the bytes justify; an index that is taken must hold what the reader promises
// (equal columns, ascending addresses, plain file names, a next stamp above every stamp) and must
// be written back byte for byte as it was read.
#include <cstdlib>
#include <string>

#include "scan/cache_index.h"

using namespace plover;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CCacheIndex index;
    if (index.Parse(bytes) != ECacheIndexLoad::Loaded) {
        if (index.GetCount() != 0 || index.GetTotalSize() != 0) abort();
        return 0;
    }
    uint64_t total = 0;
    for (int i = 0; i < index.GetCount(); ++i) {
        SCacheRow row = index.GetRow(i);
        if (i > 0 && !(index.GetUrl(i - 1) < row.url)) abort();
        if (!IsPlainFileName(row.fileName)) abort();
        if (row.stamp >= index.GetNextStamp()) abort();
        if (index.Find(row.url) != i) abort();
        total += row.size;
    }
    if (total != index.GetTotalSize()) abort();
    std::string written = index.Serialize();
    CCacheIndex again;
    if (again.Parse(written) != ECacheIndexLoad::Loaded || again.Serialize() != written) abort();
    // Eviction down to half the total leaves at most half.
    std::vector<int> evicted = index.PickEvictions(total / 2);
    index.RemoveRows(evicted);
    if (index.GetTotalSize() > total / 2) abort();
    return 0;
}
