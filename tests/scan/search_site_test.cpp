// Search sites: the template rule, the escaping of a searched text, the stored form and the list
// with its defaults, the properties rules, and the format determination driven through its stages
// by a scripted browser.
#include <gtest/gtest.h>


#include "app/reg_store.h"
#include "scan/search_site.h"
#include "scan/search_site_dialogs.h"

namespace plover {
namespace {

RefPtr<ISearchSite> NewSite(const char* title, const char* format) {
    return RefPtr<ISearchSite>::Adopt(CSearchSite::Create(title, format));
}

RefPtr<ISearchSite> DefaultSite(int number) {
    CSearchSiteList list;
    list.ResetToDefaults();
    RefPtr<ISearchSite> site;
    EXPECT_TRUE(list.GetSite(number - 1, site.Put()));
    return site;
}

TEST(SearchSite, DefaultSiteFourPutsTheTextIntoItsFileKey) {
    RefPtr<ISearchSite> site = DefaultSite(4);
    std::string format = site->GetFormat();
    const std::string tail = "/search.src?type=contains&file=_TEXT_TO_SEARCH_&perpage=50&action=find&page=1";
    ASSERT_EQ(format.substr(format.size() - tail.size()), tail);
    std::string expected = format.substr(0, format.size() - tail.size()) +
                           "/search.src?type=contains&file=abc&perpage=50&action=find&page=1";
    EXPECT_EQ(site->MakeSearchURL("abc"), expected);
}

TEST(SearchSite, TemplateRule) {
    struct Case {
        const char* format;
        const char* text;
        const char* url;
    } cases[] = {
        {"http://s/q?w=_TEXT_TO_SEARCH_", "abc", "http://s/q?w=abc"},
        {"http://s/q?w=abc", "abc", ""},                                        // no marker: no address
        {"http://s/_TEXT_TO_SEARCH_/_TEXT_TO_SEARCH_", "x", "http://s/x/_TEXT_TO_SEARCH_"},  // the first only
        {"_TEXT_TO_SEARCH_", "red car", "red car"},                             // unchanged here
        {"http://s/?q=_TEXT_TO_SEARC", "x", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(NewSite("t", c.format)->MakeSearchURL(c.text), c.url) << c.format;
}

TEST(SearchSite, SearchedTextIsEscapedForTheAddress) {
    struct Case {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"red car", "red%20car"},
        {"a&b=c+d#e/f?g%", "a%26b%3Dc%2Bd%23e%2Ff%3Fg%25"},
        {"Zz09-._~", "Zz09-._~"},
        {"\xC3\xA9t\xC3\xA9", "%C3%A9t%C3%A9"},  // UTF-8 bytes one by one
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeSearchText(c.text), c.escaped) << c.text;
    EXPECT_EQ(BuildSearchURL(NewSite("t", "http://127.0.0.1:8080/s?q=_TEXT_TO_SEARCH_&n=5").Get(), "red car"),
              "http://127.0.0.1:8080/s?q=red%20car&n=5");
}

TEST(SearchSite, SettersIgnoreNullAndCloneIsIndependent) {
    RefPtr<ISearchSite> site = NewSite("www.a.example", "http://a/?q=_TEXT_TO_SEARCH_");
    site->SetFormat(nullptr);
    site->SetTitle(nullptr);
    EXPECT_EQ(site->GetFormat(), "http://a/?q=_TEXT_TO_SEARCH_");
    EXPECT_EQ(site->GetTitle(), "www.a.example");
    RefPtr<ISearchSite> copy;
    ASSERT_TRUE(site->Clone(copy.Put()));
    copy->SetFormat("http://b/?q=_TEXT_TO_SEARCH_");
    EXPECT_EQ(copy->GetTitle(), "www.a.example");
    EXPECT_EQ(site->GetFormat(), "http://a/?q=_TEXT_TO_SEARCH_");
}

class SearchSiteStoreTest : public ::testing::Test {
protected:
    CBRRegKey Key(const char* path) {
        CBRRegKey key;
        EXPECT_TRUE(key.OpenForWrite(store.Root(), path));
        return key;
    }
    CRegStore store;
};

TEST_F(SearchSiteStoreTest, LoadFailsOnAMissingOrEmptyValue) {
    struct Case {
        const char* title;  // null: not stored
        const char* format;
        bool loads;
    } cases[] = {
        {"www.a.example", "http://a/?q=_TEXT_TO_SEARCH_", true},
        {"", "http://a/?q=_TEXT_TO_SEARCH_", false},
        {"www.a.example", "", false},
        {nullptr, "http://a/?q=_TEXT_TO_SEARCH_", false},
        {"www.a.example", nullptr, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = "case" + std::to_string(n++);
        CBRRegKey key = Key(path.c_str());
        if (c.title) key.WriteString("csTitle", c.title);
        if (c.format) key.WriteString("csFormat", c.format);
        RefPtr<ISearchSite> site = NewSite("old", "old format");
        EXPECT_EQ(site->Load(key), c.loads) << path;
        EXPECT_EQ(site->GetTitle(), c.loads ? c.title : "old") << path;
    }
}

TEST_F(SearchSiteStoreTest, ResetGivesTheFourDefaultsAndTheListSurvivesASaveAndLoad) {
    CSearchSiteList list;
    list.Add(NewSite("mine", "http://m/?q=_TEXT_TO_SEARCH_").Get());
    list.ResetToDefaults();
    ASSERT_EQ(list.GetCount(), 4);
    const char* paths[] = {"/default.asp?lpv=1&loc=searchhp&tab=web&query=_TEXT_TO_SEARCH_",
                           "/search.phtml?session=1&query=_TEXT_TO_SEARCH_&perpage=50&smartsearch=yes&ftypes=.mp3"
                           "&ftypes=.vqf&ftypes=.aac&ftypes=.ra&minrel=0",
                           "/results.asp?RS=CHECKED&FORM=MSNH&v=1&q=_TEXT_TO_SEARCH_",
                           "/search.src?type=contains&file=_TEXT_TO_SEARCH_&perpage=50&action=find&page=1"};
    for (int i = 0; i < 4; ++i) {
        RefPtr<ISearchSite> site;
        ASSERT_TRUE(list.GetSite(i, site.Put()));
        std::string format = site->GetFormat();
        EXPECT_EQ(site->GetTitle().rfind("www.", 0), 0u) << i;
        EXPECT_EQ(format.rfind("http://", 0), 0u) << i;
        EXPECT_EQ(format.find('/', 7), format.size() - std::string(paths[i]).size()) << i;
        EXPECT_EQ(format.substr(format.find('/', 7)), paths[i]) << i;
    }
    RefPtr<ISearchSite> none;
    EXPECT_FALSE(list.GetSite(4, none.Put()));
    EXPECT_FALSE(list.GetSite(-1, none.Put()));

    // Eleven sites keep their order through the store ("10" after "9").
    for (int i = 0; i < 7; ++i) list.Add(NewSite(("site " + std::to_string(i)).c_str(), "f").Get());
    HKEY program = Key("Software\\Bramble\\Plover").Handle();
    list.Save(program);
    CSearchSiteList loaded;
    loaded.Load(program);
    ASSERT_EQ(loaded.GetCount(), 11);
    for (int i = 0; i < 11; ++i) {
        RefPtr<ISearchSite> a, b;
        list.GetSite(i, a.Put());
        loaded.GetSite(i, b.Put());
        EXPECT_EQ(a->GetTitle(), b->GetTitle());
        EXPECT_EQ(a->GetFormat(), b->GetFormat());
    }
}

TEST_F(SearchSiteStoreTest, AnEmptiedListStaysEmptyAndAMissingKeyLeavesTheList) {
    HKEY program = Key("Software\\Bramble\\Plover").Handle();
    CSearchSiteList list;
    list.ResetToDefaults();
    list.Load(program);  // nothing stored yet
    EXPECT_EQ(list.GetCount(), 4);
    CSearchSiteList empty;
    empty.Save(program);
    list.Load(program);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(SearchSiteProperties, NewSiteRulesAndRefusals) {
    CSearchEnginePropDlg fresh;
    EXPECT_EQ(fresh.title, "");
    EXPECT_EQ(fresh.format, "_TEXT_TO_SEARCH_");
    std::string error;
    EXPECT_FALSE(fresh.CanDetermineFormat(&error));
    EXPECT_EQ(error, "Please enter the searching engine site.");
    EXPECT_FALSE(fresh.OnOk(&error));
    EXPECT_EQ(error, "Site name and format cannot be empty");
    EXPECT_FALSE(fresh.Site());
    fresh.title = "www.new.example";
    EXPECT_TRUE(fresh.CanDetermineFormat(&error));
    ASSERT_TRUE(fresh.OnOk(&error));
    EXPECT_EQ(fresh.Site()->GetFormat(), "_TEXT_TO_SEARCH_");

    RefPtr<ISearchSite> site = NewSite("www.old.example", "http://old/?q=_TEXT_TO_SEARCH_");
    CSearchEnginePropDlg edit(site.Get());
    EXPECT_EQ(edit.title, "www.old.example");
    edit.format = "";
    EXPECT_FALSE(edit.OnOk(&error));
    EXPECT_EQ(site->GetFormat(), "http://old/?q=_TEXT_TO_SEARCH_");
    edit.OnFormatDetermined("http://old/find?w=_TEXT_TO_SEARCH_");
    ASSERT_TRUE(edit.OnOk(&error));
    EXPECT_EQ(site->GetFormat(), "http://old/find?w=_TEXT_TO_SEARCH_");
}

// A browser whose answers the test scripts: what Navigate was asked, then the current state.
class CScriptedBrowser final : public IWebBrowser {
public:
    void Navigate(const std::string& address) override { navigated.push_back(address); }
    bool IsLoadingComplete() override { return complete; }
    std::string GetCurrentAddress() override { return address; }

    std::vector<std::string> navigated;
    bool complete = false;
    std::string address;
};

class FormatDetermTest : public ::testing::Test {
protected:
    using EResult = CSearchEngineFormatDetermDlg::EResult;

    // Opens the site, lets it load (after a few checks while loading) and checks the question.
    void LoadSite(const std::string& shownAddress) {
        dlg.Open();
        EXPECT_EQ(browser.navigated, std::vector<std::string>{"www.site.example"});
        EXPECT_EQ(dlg.Prompt(), "Please wait while the site is loading");
        EXPECT_FALSE(dlg.ButtonsVisible());
        EXPECT_TRUE(dlg.CheckTimerRunning());
        dlg.OnCheckTimer();
        browser.address = shownAddress;
        dlg.OnCheckTimer();  // still loading
        EXPECT_EQ(dlg.Stage(), 0);
        EXPECT_EQ(dlg.Prompt(), "Please wait while the site is loading");
        browser.complete = true;
        dlg.OnCheckTimer();
        EXPECT_EQ(dlg.Prompt(), "Did the site appear correctly?");
        EXPECT_TRUE(dlg.ButtonsVisible());
        EXPECT_TRUE(dlg.Blinking());
        EXPECT_FALSE(dlg.CheckTimerRunning());
    }
    // Yes to the site; the user then submits a search that leads to resultAddress.
    void Search(const std::string& resultAddress) {
        dlg.OnYes();
        EXPECT_EQ(dlg.Stage(), 1);
        EXPECT_EQ(dlg.Prompt(), "Please search for \"Flitter\"");
        EXPECT_FALSE(dlg.ButtonsVisible());
        EXPECT_FALSE(dlg.Blinking());
        EXPECT_TRUE(dlg.CheckTimerRunning());
        dlg.OnCheckTimer();  // same address: nothing yet
        EXPECT_EQ(dlg.Stage(), 1);
        browser.complete = false;
        browser.address = resultAddress;
        dlg.OnCheckTimer();  // loading
        EXPECT_EQ(dlg.Stage(), 1);
        browser.complete = true;
        dlg.OnCheckTimer();
    }

    CScriptedBrowser browser;
    CSearchEngineFormatDetermDlg dlg{browser, "www.site.example"};
};

TEST_F(FormatDetermTest, TheResultAddressWithTheWordReplacedIsTheTemplate) {
    LoadSite("http://www.site.example/");
    Search("http://www.site.example/find?q=Flitter&again=Flitter&n=10");
    EXPECT_EQ(dlg.Stage(), 2);
    EXPECT_EQ(dlg.Prompt(), "Is the search correct ?");
    EXPECT_TRUE(dlg.ButtonsVisible());
    dlg.OnYes();
    EXPECT_EQ(dlg.Result(), EResult::Determined);
    EXPECT_EQ(dlg.Template(), "http://www.site.example/find?q=_TEXT_TO_SEARCH_&again=_TEXT_TO_SEARCH_&n=10");
    EXPECT_EQ(dlg.Message(), "");
}

TEST_F(FormatDetermTest, FailurePaths) {
    struct Case {
        const char* name;
        const char* result;  // null: No at stage 0
        bool noAtStage2;
        const char* message;
    } cases[] = {
        {"site refused", nullptr, false, "Check the site correctness and try again"},
        {"word missing", "http://www.site.example/find?q=flitter", false, kDetermFailedMessage},
        {"search refused", "http://www.site.example/find?q=Flitter", true, kDetermFailedMessage},
    };
    for (const Case& c : cases) {
        CScriptedBrowser b;
        CSearchEngineFormatDetermDlg d(b, "www.site.example");
        d.Open();
        b.complete = true;
        b.address = "http://www.site.example/";
        d.OnCheckTimer();
        ASSERT_TRUE(d.ButtonsVisible()) << c.name;
        if (!c.result) {
            d.OnNo();
        } else {
            d.OnYes();
            b.address = c.result;
            d.OnCheckTimer();
            if (c.noAtStage2) d.OnNo();
        }
        EXPECT_EQ(d.Result(), EResult::Closed) << c.name;
        EXPECT_EQ(d.Message(), c.message) << c.name;
        EXPECT_EQ(d.Template(), "") << c.name;
        EXPECT_FALSE(d.CheckTimerRunning()) << c.name;
    }
    EXPECT_EQ(std::string(kDetermFailedMessage).rfind("Sorry, this searching engine cannot be used by Flitter.\n", 0), 0u);
}

TEST_F(FormatDetermTest, APageShownAtExactlyTheGivenAddressStillCountsAsLoaded) {
    CScriptedBrowser b;
    CSearchEngineFormatDetermDlg d(b, "http://www.site.example/");
    d.Open();
    b.complete = true;
    b.address = "about:blank";
    d.OnCheckTimer();
    EXPECT_FALSE(d.ButtonsVisible());
    b.address = "http://www.site.example/";
    d.OnCheckTimer();
    EXPECT_EQ(d.Prompt(), "Did the site appear correctly?");
}

TEST_F(FormatDetermTest, ThePromptBlinksOnlyWhileAQuestionWaits) {
    dlg.Open();
    dlg.OnBlinkTimer();
    EXPECT_TRUE(dlg.PromptVisible());
    browser.complete = true;
    browser.address = "http://www.site.example/";
    dlg.OnCheckTimer();
    std::vector<bool> seen;
    for (int i = 0; i < 3; ++i) {
        dlg.OnBlinkTimer();
        seen.push_back(dlg.PromptVisible());
    }
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false}));
    dlg.OnYes();  // the search prompt stays shown
    dlg.OnBlinkTimer();
    EXPECT_TRUE(dlg.PromptVisible());
    dlg.OnNo();  // no buttons in stage 1: ignored
    EXPECT_EQ(dlg.Result(), EResult::Running);
}

}  // namespace
}  // namespace plover
