// Traffic limits by mode and the traffic bar's history.
#include "download/traffic.h"

#include <gtest/gtest.h>

#include "app/settings.h"

namespace plover {
namespace {

TEST(Traffic, LimitsByMode) {
    CRegistrySettings s;
    SetTrafficModeDefaults(s);
    struct Case {
        int32_t mode;
        uint32_t downloads, sections, quota;
    } cases[] = {
        {0, 3, 5, kNoTransferQuota},
        {1, 2, 3, 10240},
        {2, 1, 1, 1024},
        {3, 0, 5, kNoTransferQuota},  // the queue stopped: priority 10 keeps the first mode's limits
        {7, 3, 5, kNoTransferQuota},
    };
    for (auto& c : cases) {
        STrafficLimits l = TrafficLimitsFor(s, c.mode);
        EXPECT_EQ(l.maxDownloads, c.downloads) << c.mode;
        EXPECT_EQ(l.maxSectPerDownload, c.sections) << c.mode;
        EXPECT_EQ(l.transferQuota, c.quota) << c.mode;
    }
    s.TrafficModes[1].dwMaxSectPerDownload = 0;
    EXPECT_EQ(TrafficLimitsFor(s, 1).maxSectPerDownload, 1u);
}

TEST(Traffic, HistoryKeepsAHundredSecondsNewestFirst) {
    CTrafficHistory h;
    for (uint32_t i = 1; i <= 150; ++i) {
        h.AddBytes(i);
        h.AddBytes(i);
        h.Tick();
    }
    auto values = h.Values();
    ASSERT_EQ(values.size(), 100u);
    EXPECT_EQ(values.front(), 300u);
    EXPECT_EQ(values.back(), 102u);
    EXPECT_EQ(h.Largest(), 300u);
    EXPECT_EQ(h.Current(), 0u);
}

TEST(Traffic, BarContentCountsTrafficEventsOnly) {
    auto bar = CTrafficBarContent::Create();
    bar->OnNetNotify(NE_TRAFFIC, 1000, 0);
    bar->OnNetNotify(NE_PROGRESS, 5000, 0);
    bar->OnNetNotify(NE_TRAFFIC, 24, 0);
    EXPECT_EQ(bar->History().Current(), 1024u);
    RefPtr<INetAdviseSink> sink = QueryAs<INetAdviseSink>(bar.Get(), IID_INetAdviseSink);
    EXPECT_TRUE(sink);
}

}  // namespace
}  // namespace plover
