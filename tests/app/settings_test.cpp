#include <gtest/gtest.h>

#include <cstdlib>

#include "app/message.h"
#include "app/reg_store.h"
#include "app/settings.h"
#include "app/settings_catalog.h"
#include "platform/homes.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

// Each test gets its own store, its own temporary folder, its own homes (whose cache folder is
// the default one) and a record of the messages shown.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old ? old : "";
        hadTmp_ = old != nullptr;
        setenv("TMPDIR", tmp.Str().c_str(), 1);
        SetProgramHomes({home.Path(), home.Path(), home / "cache"});
        SetMessageHandler([this](const std::string& m) { messages.push_back(m); });
    }
    void TearDown() override {
        SetMessageHandler(nullptr);
        SetProgramHomes({});
        if (hadTmp_)
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    CBRRegKey MainKey() {
        CBRRegKey k;
        k.OpenForWrite(store.Root(), kPloverKey);
        return k;
    }
    CRegistrySettings Load() {
        CRegistrySettings s;
        SerializeMainSettings(s, store.Root(), true);
        return s;
    }

    test::TempDir tmp, home;
    CRegStore store;
    std::vector<std::string> messages;

private:
    std::string oldTmp_;
    bool hadTmp_ = false;
};

TEST_F(SettingsTest, FreshStoreKeepsDefaultsAndUsesTheHomesOwnCacheFolder) {
    CRegistrySettings s = Load();
    EXPECT_EQ(s.eTrafficMode, 0);
    EXPECT_EQ(s.iConnType, 12);
    EXPECT_EQ(s.colorProgressBkgnd, 0x00A3A3A3u);
    EXPECT_EQ(s.iColWidths[1], 300);
    EXPECT_EQ(s.FindInfo.eFrom, 1);
    EXPECT_EQ(s.TimeoutParams.dwConnect, 20u);
    EXPECT_EQ(s.AutoDial.Times, 25u);
    EXPECT_EQ(s.iMaxCacheSpace, 50);
    EXPECT_EQ(s.csCacheFolder, (home / "cache").string());
    EXPECT_TRUE(std::filesystem::is_directory(home / "cache"));
    EXPECT_EQ(std::filesystem::status(home / "cache").permissions(), std::filesystem::perms::owner_all)
        << "private to its user";
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Path())) << "nothing in the shared temporary folder";
    EXPECT_TRUE(messages.empty()) << "a fresh home has nothing to complain about";
    EXPECT_EQ(s.sizeThumbMinSize.cx, 32);
    EXPECT_EQ(s.sizeThumbMaxSize.cy, 200);
    EXPECT_EQ(s.sizeLargePicMinSize.cx, 300);
    EXPECT_EQ(s.sizeLargePicMaxSize.cy, 3000);
    EXPECT_EQ(s.sizeThumb.cx, 0);  // no default for the thumbnail size itself
}

TEST_F(SettingsTest, ACacheFolderThatCannotBeUsedGivesTheMessageAndTheHomesOwn) {
    test::TempDir chosen;
    test::WriteFile(chosen / "file", "not a folder");
    struct SCase {
        const char* what;
        std::string stored;
        std::string used;
        bool message;
    } cases[] = {
        {"a usable folder", chosen.Str(), chosen.Str(), false},
        {"a missing folder", (chosen / "gone").string(), (home / "cache").string(), true},
        {"a file", (chosen / "file").string(), (home / "cache").string(), true},
        {"the default, deleted", (home / "cache").string(), (home / "cache").string(), false},
    };
    for (const SCase& c : cases) {
        messages.clear();
        std::filesystem::remove_all(home / "cache");
        MainKey().WriteString("csCacheFolder", c.stored);
        EXPECT_EQ(Load().csCacheFolder, c.used) << c.what;
        EXPECT_EQ(messages.size(), c.message ? 1u : 0u) << c.what;
    }
}

TEST_F(SettingsTest, TrafficModeDefaultsAndStoredQuotaWins) {
    CRegistrySettings s = Load();
    EXPECT_EQ(s.TrafficModes[0].dwTransferQuota, kNoTransferQuota);
    EXPECT_EQ(s.TrafficModes[0].dwMaxDownloads, 3u);
    EXPECT_EQ(s.TrafficModes[1].dwTransferQuota, 10240u);
    EXPECT_EQ(s.TrafficModes[2].dwMaxSectPerDownload, 1u);

    CBRRegKey k;
    ASSERT_TRUE(k.OpenForWrite(store.Root(), "Software\\Bramble\\Plover\\TrafficMode1"));
    k.WriteDWord("dwTransferQuota", 10485760);
    EXPECT_EQ(Load().TrafficModes[0].dwTransferQuota, 10485760u);
}

TEST_F(SettingsTest, CacheSpaceBounds) {
    struct SCase {
        int32_t stored, loaded;
    } cases[] = {{19, 50}, {20, 20}, {2000, 2000}, {2001, 50}, {-1, 50}};
    for (auto c : cases) {
        MainKey().WriteDWord("iMaxCacheSpace", uint32_t(c.stored));
        EXPECT_EQ(Load().iMaxCacheSpace, c.loaded) << c.stored;
    }
}

TEST_F(SettingsTest, PageSizeBounds) {
    EXPECT_EQ(CRegistrySettings().iMaxPageSize, 32);
    struct SCase {
        int32_t stored, loaded;
    } cases[] = {{0, 32}, {1, 1}, {200, 200}, {2047, 2047}, {2048, 32}, {-1, 32}};
    for (auto c : cases) {
        MainKey().WriteDWord("iMaxPageSize", uint32_t(c.stored));
        EXPECT_EQ(Load().iMaxPageSize, c.loaded) << c.stored;
    }
}

TEST_F(SettingsTest, RetryIsLoadedAsStoredButSavedAsOne) {
    CBRRegKey k;
    ASSERT_TRUE(k.OpenForWrite(store.Root(), "Software\\Bramble\\Plover\\TimeoutParams"));
    k.WriteDWord("dwRetry", 5);
    CRegistrySettings s = Load();
    EXPECT_EQ(s.TimeoutParams.dwRetry, 5u);
    SerializeMainSettings(s, store.Root(), false);
    uint32_t stored = 0;
    EXPECT_TRUE(k.ReadDWord("dwRetry", stored));
    EXPECT_EQ(stored, 1u);
}

TEST_F(SettingsTest, WrongSizeBlocksAreZeroedAndSizesTakeTheirDefaultsAgain) {
    CBRRegKey k = MainKey();
    int32_t one = 77;
    k.WriteBinary("sizeThumbMinSize", &one, 4);
    k.WriteBinary("MainWndPos", &one, 4);
    SSize big{640, 480};
    k.WriteBinary("sizeLargePicMaxSize", &big, sizeof big);
    CRegistrySettings s = Load();
    EXPECT_EQ(s.sizeThumbMinSize.cx, 32);
    EXPECT_EQ(s.sizeThumbMinSize.cy, 32);
    EXPECT_EQ(s.MainWndPos[0], 0);
    EXPECT_EQ(s.sizeLargePicMaxSize.cx, 640);
}

TEST_F(SettingsTest, SaveAndLoadRoundTripUnderTheStoredNames) {
    CRegistrySettings s = Load();
    s.eTrafficMode = 2;
    s.colorActiveSections = 0x00123456;
    s.csDefDownloadFolder = "/home/u/Pictures";
    s.DialUpUserPass.m_csPassword = "pw";
    s.iColWidths = {1, 2, 3, 4, 5, 6};
    s.TimeoutParams.dwConnect = 45;
    s.Sounds[3].bEnable = 1;
    s.Sounds[3].csWavFile = "/snd/done.wav";
    s.TrafficModes[2].dwMaxDownloads = 9;
    s.FindInfo.bAdv = 1;
    s.AutoDial.On = 1;
    s.SurfURLs.Add("http://a.example/");
    s.SurfURLs.Add("http://b.example/");
    SerializeMainSettings(s, store.Root(), false);

    CRegistrySettings back = Load();
    auto a = ListSettings(s), b = ListSettings(back);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(FormatSetting(a[i]), FormatSetting(b[i])) << a[i].name;
    EXPECT_EQ(back.SurfURLs.Items(), s.SurfURLs.Items());

    auto read = [&](const char* path, const char* name) {
        CBRRegKey k;
        std::string text;
        uint32_t n = 0;
        if (!k.OpenForRead(store.Root(), path)) return std::string("no key");
        if (k.ReadDWord(name, n)) return std::to_string(n);
        return k.ReadString(name, text) ? text : std::string("no value");
    };
    EXPECT_EQ(read("Software\\Bramble\\Plover", "eTrafficMode"), "2");
    EXPECT_EQ(read("Software\\Bramble\\Plover", "DialUpUserPass.m_csPassword"), "pw");
    EXPECT_EQ(read("Software\\Bramble\\Plover\\TimeoutParams", "dwConnect"), "45");
    EXPECT_EQ(read("Software\\Bramble\\Plover\\Sound #4", "csWavFile"), "/snd/done.wav");
    EXPECT_EQ(read("Software\\Bramble\\Plover\\TrafficMode3", "dwMaxDownloads"), "9");
    EXPECT_EQ(read("Software\\Bramble\\Plover\\FindInfo", "bAdv"), "1");
    EXPECT_EQ(read("Software\\Bramble\\Plover\\AutoDial", "On"), "1");
    EXPECT_EQ(read("Software\\Bramble\\Plover\\SurfURLs", "1"), "http://b.example/");
}

TEST_F(SettingsTest, MainTableNamesInStoredOrder) {
    const char* expected[] = {
        "bProMode", "bTrafficBarOn", "bShowDownloadFullPath", "eTrafficMode", "colorProgressBkgnd",
        "colorProgressTotal", "colorProgressSections", "colorActiveSections", "bMinToTray", "bAnimateTray",
        "iConnType", "bShowAuthorization", "DialUpUserPass.m_bUsername", "DialUpUserPass.m_bPassword",
        "dwAutoSaveTime", "dwLogEntryNumber", "iDownloadListSplitterSize", "iBrowserSplitterSize",
        "eDoubleClickAction", "bCloseDnlPropInactive", "bNewDownloadAdv", "MainWndPos", "BasketWndPos",
        "ImageViewWndPos", "pointSurferProp", "pointThumbProp", "csActiveDialUp", "DialUpUserPass.m_csUsername",
        "DialUpUserPass.m_csPassword", "csDefDownloadFolder", "csActiveFilter", "AutoDial/On", "AutoDial/Times",
        "AutoDial/Sec", "TimeoutParams/dwConnect", "TimeoutParams/dwTransfer", "TimeoutParams/dwRetry",
        "FindInfo/bFilename", "FindInfo/bServer", "FindInfo/bFinished", "FindInfo/bNotFinished",
        "FindInfo/bPaused", "FindInfo/bFailed", "FindInfo/bAdv", "FindInfo/eFrom", "FindInfo/eWhatToDo",
        "Sound #1/bEnable", "Sound #1/csWavFile", "Sound #2/bEnable", "Sound #2/csWavFile", "Sound #3/bEnable",
        "Sound #3/csWavFile", "Sound #4/bEnable", "Sound #4/csWavFile", "TrafficMode1/dwMaxDownloads",
        "TrafficMode1/dwMinSectSize", "TrafficMode1/dwMaxSectPerDownload", "TrafficMode1/dwTransferQuota",
        "TrafficMode2/dwMaxDownloads", "TrafficMode2/dwMinSectSize", "TrafficMode2/dwMaxSectPerDownload",
        "TrafficMode2/dwTransferQuota", "TrafficMode3/dwMaxDownloads", "TrafficMode3/dwMinSectSize",
        "TrafficMode3/dwMaxSectPerDownload", "TrafficMode3/dwTransferQuota", "bDnlPropAutoOpen",
        "bDnlPropAutoClose", "bDnlPropDisplayMin", "bDnlPropMinToTray", "bWrapURLs", "bLogAutoScroll",
        "dwAutoTurnOff", "bOverwriteAlways", "bServerFileTime", "iColWidths", "iActiveMainPage", "bFTPSurferLogin",
        "bInternetSearchAdv", "bShowSurferFolderTree", "bDisableLog", "bFTPLog", "csCacheFolder", "eCacheMode",
        "bImageViewSnapCursorToButtons", "eBasketContentMode", "csExternalViewer", "sizeThumbMinSize",
        "sizeThumbMaxSize", "sizeLargePicMinSize", "sizeLargePicMaxSize", "bShowProfileDescription", "sizeThumb",
        "bImageViewShrinkToFit", "bImageViewUpdateFrameSize", "bImageViewAutoSizeCenter", "eBasketViewMode",
        "iMaxCacheSpace", "iMaxPageSize", "bTlsInsecure", "csTlsCaFile", "csUserAgent", "csCookieFile",
        "dwMaxConnectionsPerServer", "dwMaxRetryAfter", "dwKeepAliveIdle", "dwKeepAlivePerServer"};
    CRegistrySettings s;
    auto list = ListSettings(s);
    ASSERT_EQ(list.size(), std::size(expected));
    for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i].name, expected[i]);
}

TEST_F(SettingsTest, OtherPartsGroupsRunInOrderOnTheMainKey) {
    std::vector<std::string> log;
    auto group = [&](const char* name) {
        return [&log, name](const HKEY& key, bool load) {
            log.push_back(std::string(name) + (load ? " load " : " save ") + (key ? key->Name() : "null"));
        };
    };
    SetSettingsGroup(ESettingsGroup::ScanProfiles, group("profiles"));
    SetSettingsGroup(ESettingsGroup::ProxyRecords, group("proxies"));
    SetSettingsGroup(ESettingsGroup::Baskets, group("baskets"));
    SetDefaultFiltersHook([&] { log.push_back("filters"); });
    CRegistrySettings s;
    SerializeMainSettings(s, store.Root(), false);
    SerializeMainSettings(s, store.Root(), true);
    for (auto g : {ESettingsGroup::ProxyRecords, ESettingsGroup::Baskets, ESettingsGroup::ScanProfiles})
        SetSettingsGroup(g, nullptr);
    SetDefaultFiltersHook(nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"proxies save Plover", "baskets save Plover", "profiles save Plover",
                                             "filters", "proxies load Plover", "baskets load Plover",
                                             "profiles load Plover", "filters"}));
}

TEST(SettingsCatalog, SetAndGetByName) {
    struct SCase {
        const char* name;
        const char* text;
        bool ok;
        const char* shown;  // the value afterwards
    } cases[] = {
        {"eTrafficMode", "2", true, "2"},
        {"ETRAFFICMODE", "0x3", true, "3"},
        {"iMaxCacheSpace", "-5", true, "-5"},
        {"bProMode", "0xFFFFFFFF", true, "-1"},
        {"bProMode", "yes", false, "0"},
        {"dwAutoSaveTime", "-1", false, "15"},
        {"dwAutoSaveTime", "4294967296", false, "15"},
        {"dwAutoSaveTime", "", false, "15"},
        {"colorProgressTotal", "1193046", true, "0x00123456"},
        {"TimeoutParams/dwConnect", "45", true, "45"},
        {"Sound #2/csWavFile", "/s/a b.wav", true, "/s/a b.wav"},
        {"iColWidths", "1, 2 3 4 5 -6", true, "1 2 3 4 5 -6"},
        {"sizeThumb", "1 2 3", false, "0 0"},
        {"sizeThumb", "1 x", false, "0 0"},
    };
    for (const auto& c : cases) {
        CRegistrySettings s;
        auto list = ListSettings(s);
        const SSettingInfo* info = FindSetting(list, c.name);
        ASSERT_NE(info, nullptr) << c.name;
        std::string error;
        EXPECT_EQ(ParseSetting(*info, c.text, &error), c.ok) << c.name << " " << c.text;
        EXPECT_EQ(FormatSetting(*info), c.shown) << c.name << " " << c.text;
        if (!c.ok) {
            EXPECT_NE(error.find(info->name), std::string::npos) << error;
        }
    }
    CRegistrySettings s;
    auto list = ListSettings(s);
    EXPECT_EQ(FindSetting(list, "TimeoutParams"), nullptr);
    EXPECT_EQ(FindSetting(list, "nosuch"), nullptr);
}

}  // namespace
}  // namespace plover
