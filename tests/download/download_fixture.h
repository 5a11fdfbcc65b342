#pragma once
// A CDownload test bench: a temporary target folder, the fake environment and owner, and the
// settings the download reads (4 sections per download, "dwRetry" 1, no overwriting) restored
// afterwards.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "app/settings.h"
#include "download/download_fakes.h"
#include "testutil/temp_dir.h"

namespace plover::test {

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        CRegistrySettings& s = GetSettings();
        saved_ = {s.eTrafficMode, s.TrafficModes[0].dwMaxSectPerDownload, s.TrafficModes[0].dwMinSectSize,
                  s.TimeoutParams.dwRetry, s.bOverwriteAlways};
        s.eTrafficMode = 0;
        s.TrafficModes[0].dwMaxSectPerDownload = 4;
        s.TrafficModes[0].dwMinSectSize = 0;  // the placement tables use files of a few hundred bytes
        s.TimeoutParams.dwRetry = 1;
        s.bOverwriteAlways = 0;
        owner = RefPtr<FakeOwner>::Adopt(new FakeOwner);
    }
    void TearDown() override {
        // Break the owner <-> download references.
        for (SDnlOp* op : owner->ops) delete op;
        owner->ops.clear();
        owner->list.clear();
        CRegistrySettings& s = GetSettings();
        s.eTrafficMode = saved_.mode;
        s.TrafficModes[0].dwMaxSectPerDownload = saved_.sect;
        s.TrafficModes[0].dwMinSectSize = saved_.minSect;
        s.TimeoutParams.dwRetry = saved_.retry;
        s.bOverwriteAlways = saved_.overwrite;
    }

    // A download of the address into the temporary folder, in the owner's list.
    RefPtr<CDownload> Make(const std::string& url, const std::string& folder = "") {
        std::string error;
        RefPtr<CDownload> d = CDownload::Create(MakeConfig(url, folder.empty() ? dir.Str() : folder), owner.Get(), &error);
        EXPECT_TRUE(d) << error;
        if (d) owner->list.emplace_back(d.Get());
        return d;
    }
    // The size known and the file made, as after a probe.
    void Sized(CDownload* d, uint32_t size) { ASSERT_TRUE(d->SetSize(size)); }
    bool Write(CDownload* d, uint32_t offset, const std::string& bytes) {
        return d->WriteData(offset, reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
    }
    std::string Path(const std::string& name) { return (dir / name).string(); }

    TempDir dir;
    FakeEnv env;
    RefPtr<FakeOwner> owner;

private:
    struct {
        int32_t mode;
        uint32_t sect, minSect, retry;
        int32_t overwrite;
    } saved_{};
};

}  // namespace plover::test
