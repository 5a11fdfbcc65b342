#include "net/traffic_quota.h"

#include "app/settings.h"

namespace plover {

// Mode 3 (the queue stopped) lets only priority-10 downloads run; they keep the first mode's
// quota. A mode outside 0..3 reads as mode 0.
uint32_t CurrentTransferQuota() {
    const CRegistrySettings& s = GetSettings();
    int32_t mode = s.eTrafficMode;
    if (mode < 0 || mode >= kTrafficModes) mode = 0;
    return s.TrafficModes[mode].dwTransferQuota;
}

}  // namespace plover
