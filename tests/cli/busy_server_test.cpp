// A server too busy for the first requests, as a user meets it: plover get waits as long as the
// server asks (Retry-After) and then fetches the file, without spending the download's attempts
// (one, by default) on the waits.
#include <gtest/gtest.h>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

TEST(BusyServer, RetryAfterIsWaitedForAndTheFileThenArrives) {
    for (int status : {429, 503}) {
        SCOPED_TRACE(status);
        TempDir home, out;
        BusyHttpServer busy(2, "1", status);
        WriteFile(busy.Root() / "a.bin", PatternBytes(40000, 7));
        SRunResult r = RunPlover(home.Str(), {"get", "--folder", out.Str(), busy.Url("/a.bin")});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err << busy.Log();
        EXPECT_EQ(Sha256Of(out.Str() + "/a.bin"), Sha256Of((busy.Root() / "a.bin").string()));
        std::string refused = "GET /a.bin " + std::to_string(status);
        EXPECT_EQ(Occurrences(busy.Log(), refused), 2u) << busy.Log();
        EXPECT_GE(Occurrences(busy.Log(), "GET /a.bin 200"), 1u) << busy.Log();
    }
}

TEST(BusyServer, WithoutRetryAfterTheRefusalIsAFailedAttempt) {
    TempDir home, out;
    BusyHttpServer busy(5, "");
    WriteFile(busy.Root() / "b.bin", PatternBytes(1000, 8));
    SRunResult r = RunPlover(home.Str(), {"get", "--folder", out.Str(), busy.Url("/b.bin")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE((r.out + r.err).find("Server error"), std::string::npos) << r.out << r.err;
}

}  // namespace
}  // namespace plover::test
