#pragma once
// Download filters: what the download panes (and `plover list`) show. A filter has a display
// name, a kind and a list of values:
//   kind 0  every download (ends a filter test with a match),
//   kind 1  the download's category index must be one of the values,
//   kind 2  the download's Status must be one of the values (at most 100 of them).
// The process-wide filter list is built once at start-up, after the settings are loaded:
// "All downloads", one entry per category, then the status groups "Active", "Finished",
// "Paused" and "Failed".
#include <cstdint>
#include <string>
#include <vector>

namespace plover {

enum EFilterKind : uint32_t {
    FILTER_ALL = 0,
    FILTER_CATEGORY = 1,
    FILTER_STATUS = 2,
};

struct SDownloadFilter {
    std::string name;
    uint32_t kind = FILTER_ALL;
    std::vector<uint32_t> values;  // category indexes (kind 1) or DownloadStatus values (kind 2)
};

using DownloadFilterList = std::vector<SDownloadFilter>;

constexpr size_t kMaxStatusGroupValues = 100;

// The default list for the current categories, in the fixed order.
DownloadFilterList MakeDefaultDownloadFilters();

// The process-wide list; BuildDownloadFilters fills it when it is empty (start-up).
const DownloadFilterList& GetDownloadFilters();
void BuildDownloadFilters();

// The filter of that display name (case-insensitive), or null.
const SDownloadFilter* FindDownloadFilter(const std::string& name);

}  // namespace plover
