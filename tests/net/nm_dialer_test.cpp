// The NetworkManager dialer: nmcli's terse output read as it is written, and the whole dialer run
// against a stand-in nmcli (a shell script that answers as nmcli does and records its arguments).
// Also the child-process runner under it: output, exit status, time limit and cancel.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "net/child_process.h"
#include "net/nm_dialer.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

TEST(Nmcli, TerseLinesSplitAtUnescapedColons) {
    struct Case {
        const char* line;
        std::vector<std::string> fields;
    } cases[] = {
        {"isp:activated", {"isp", "activated"}},
        {"my\\:isp:activating", {"my:isp", "activating"}},
        {"back\\\\slash:x", {"back\\slash", "x"}},
        {"trailing\\", {"trailing\\"}},
        {":", {"", ""}},
        {"", {""}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitNmcliTerseLine(c.line), c.fields) << c.line;
}

TEST(Nmcli, ProfileDetails) {
    struct Case {
        const char* name;
        const char* output;
        SNmProfile want;
    } cases[] = {
        {"gsm, password not saved",
         "connection.id:isp\nconnection.type:gsm\ngsm.number:*99#\ngsm.username:bob\ngsm.password-flags:2 (not saved)\n",
         {"gsm", "bob", "*99#", "gsm.password", false}},
        {"pppoe, saved", "connection.type:pppoe\r\npppoe.username:ann\r\npppoe.password-flags:0 (none)\r\n",
         {"pppoe", "ann", "", "pppoe.password", true}},
        {"vpn", "connection.type:vpn\nvpn.user-name:--\n", {"vpn", "", "", "vpn.secrets.password", true}},
        {"ethernet needs no password", "connection.type:802-3-ethernet\n", {"802-3-ethernet", "", "", "", true}},
        {"colons in a value", "connection.type:gsm\ngsm.username:a:b\n", {"gsm", "a:b", "", "gsm.password", true}},
        {"nonsense", "no colon here\n:empty key\n", {"", "", "", "", true}},
    };
    for (const Case& c : cases) {
        SNmProfile p = ProfileFromDetails(ParseNmcliDetails(c.output));
        EXPECT_EQ(p.type, c.want.type) << c.name;
        EXPECT_EQ(p.userName, c.want.userName) << c.name;
        EXPECT_EQ(p.number, c.want.number) << c.name;
        EXPECT_EQ(p.passwordSetting, c.want.passwordSetting) << c.name;
        EXPECT_EQ(p.passwordSaved, c.want.passwordSaved) << c.name;
    }
}

TEST(ChildProcess, OutputStatusTimeLimitAndCancel) {
    SChildResult r = RunChild({"sh", "-c", "echo out; echo err >&2; echo $LC_ALL; exit 3"}, 20000);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "out\nC\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_FALSE(r.Succeeded());

    r = RunChild({"sleep", "60"}, 200);
    EXPECT_TRUE(r.timedOut);
    EXPECT_FALSE(r.Succeeded());

    CEvent cancel(true);
    r = RunChild({"sleep", "60"}, 60000, cancel.GetHandle());
    EXPECT_TRUE(r.cancelled);

    EXPECT_FALSE(RunChild({"no-such-program-of-plover"}, 1000).started);
    EXPECT_NE(FindOnPath("sh"), "");
    EXPECT_EQ(FindOnPath("no-such-program-of-plover"), "");
}

// A stand-in for nmcli that knows one gsm profile "isp" (password not saved) and one "wired:1";
// "up" and "down" switch a flag file, a dial copies its passwd-file.
class FakeNmcliTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string d = dir.Str();
        WriteFile(dir / "nmcli",
                  "#!/bin/sh\n"
                  "echo \"$*\" >> '" + d + "/args'\n"
                  "case \"$*\" in\n"
                  "'-t -f RUNNING general') echo running ;;\n"
                  "'-t -f NAME connection show') printf 'isp\\nwired\\\\:1\\n' ;;\n"
                  "'-t connection show id isp') printf 'connection.id:isp\\nconnection.type:gsm\\n"
                  "gsm.number:*99#\\ngsm.username:bob\\ngsm.password-flags:2 (not saved)\\n' ;;\n"
                  "'-t -f NAME,STATE connection show --active') [ -f '" + d + "/up' ] && echo 'isp:activated';"
                  " echo 'wired\\:1:deactivating' ;;\n"
                  "'--wait 90 connection up id isp passwd-file '*) cp \"$8\" '" + d + "/secret'; touch '" + d +
                      "/up' ;;\n"
                  "'connection down id isp') rm -f '" + d + "/up' ;;\n"
                  "*) echo \"Error: unknown connection\" >&2; exit 10 ;;\n"
                  "esac\n");
        chmod((dir / "nmcli").c_str(), 0700);
    }
    TempDir dir;
};

TEST_F(FakeNmcliTest, DialsListsAndHangsUpThroughNmcli) {
    CNmDialer dialer((dir / "nmcli").string());
    EXPECT_TRUE(dialer.IsAvailable(nullptr));
    std::vector<std::string> names;
    ASSERT_TRUE(dialer.ListEntries(names));
    EXPECT_EQ(names, (std::vector<std::string>{"isp", "wired:1"}));

    SDialParams params;
    params.entryName = "isp";
    bool saved = true;
    ASSERT_TRUE(dialer.GetEntryDialParams(params, saved));
    EXPECT_EQ(params.userName, "bob");
    EXPECT_FALSE(saved);
    ASSERT_TRUE(dialer.GetEntryPhoneNumber("isp", params.phoneNumber));
    EXPECT_EQ(params.phoneNumber, "*99#");
    SDialParams unknown;
    unknown.entryName = "nope";
    EXPECT_FALSE(dialer.GetEntryDialParams(unknown, saved));
    DialConnection none = 0;
    EXPECT_FALSE(FindEntryConnection(dialer, "isp", none));

    params.password = "pa:ss";
    std::promise<std::pair<uint32_t, uint32_t>> outcome;
    DialConnection connection = 0;
    ASSERT_TRUE(dialer.Dial(params, [&](uint32_t state, uint32_t error) { outcome.set_value({state, error}); },
                            connection));
    auto result = outcome.get_future().get();
    EXPECT_EQ(result.first, kDialStateConnected);
    EXPECT_EQ(result.second, 0u);
    EXPECT_EQ(ReadFile(dir / "secret"), "gsm.password:pa:ss\n");
    std::string args = ReadFile(dir / "args");
    size_t at = args.find("passwd-file ");
    ASSERT_NE(at, std::string::npos);
    std::string secretPath = args.substr(at + 12, args.find('\n', at) - at - 12);
    EXPECT_NE(access(secretPath.c_str(), F_OK), 0);  // removed once nmcli ended

    DialConnection found = 0;
    ASSERT_TRUE(FindEntryConnection(dialer, "isp", found));
    EXPECT_EQ(found, connection);
    EXPECT_FALSE(FindEntryConnection(dialer, "wired:1", found));  // on its way down
    EXPECT_TRUE(dialer.HangUp(connection));
    EXPECT_FALSE(FindEntryConnection(dialer, "isp", found));
    EXPECT_FALSE(dialer.HangUp(12345));  // a connection it never named
}

TEST_F(FakeNmcliTest, AFailedActivationIsReportedWithItsExitStatus) {
    CNmDialer dialer((dir / "nmcli").string());
    SDialParams params;
    params.entryName = "isp";  // no password: nmcli is run without passwd-file and refuses
    std::promise<uint32_t> error;
    DialConnection connection = 0;
    ASSERT_TRUE(dialer.Dial(params, [&](uint32_t, uint32_t e) { error.set_value(e); }, connection));
    EXPECT_EQ(error.get_future().get(), 10u);
    SDialParams unknown;
    unknown.entryName = "nope";
    EXPECT_FALSE(dialer.Dial(unknown, [](uint32_t, uint32_t) {}, connection));
}

}  // namespace
}  // namespace plover::test
