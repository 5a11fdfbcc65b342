#pragma once
// The logic of the two search-site dialogs, apart from any window: a front end shows the fields,
// the prompt and the buttons these classes describe, forwards its timers and button presses, and
// acts on the outcome.
//
// CSearchEnginePropDlg edits one site's name (its title: the address of its home page) and
// format, for a new site or an existing one.
//
// CSearchEngineFormatDetermDlg works a site's template out by watching the user make a test
// search in an embedded browser (web_browser.h):
//   stage 0  the site loads; "Did the site appear correctly?" (Yes / No)
//   stage 1  the user searches the site for the word Flitter; we wait for a new address
//   stage 2  "Is the search correct ?" (Yes: the result address with every Flitter replaced by
//            the marker is the template)
// The front end runs the check timer every 100 ms while CheckTimerRunning(), the blink timer every
// 500 ms while the dialog is open, and closes the dialog when Result() is no longer Running,
// first saying Message() when it is not empty.
#include <string>

#include "scan/search_site.h"
#include "scan/web_browser.h"

namespace plover {

// ---- site properties ----

class CSearchEnginePropDlg {
public:
    // site null: a new site (empty name, the format "_TEXT_TO_SEARCH_"); otherwise both fields start
    // from the site, which OnOk changes.
    explicit CSearchEnginePropDlg(ISearchSite* site = nullptr);

    std::string title;
    std::string format;

    // Refused (false, the reason in *error, the dialog stays open) with an empty name or format;
    // otherwise stores both in the site, creating it for a new one.
    bool OnOk(std::string* error);
    // The site after a successful OnOk (a new reference), else null.
    RefPtr<ISearchSite> Site() const { return site_; }

    // The determine-format button: false (the reason in *error) without a name; otherwise the
    // determination may open the name as the site's address.
    bool CanDetermineFormat(std::string* error) const;
    // Puts a determined template into the format field.
    void OnFormatDetermined(const std::string& determined) { format = determined; }

private:
    RefPtr<ISearchSite> site_;
};

// ---- format determination ----

inline constexpr const char* kSearchTestWord = "Flitter";
inline constexpr const char* kDetermLoadingPrompt = "Please wait while the site is loading";
inline constexpr const char* kDetermSiteQuestion = "Did the site appear correctly?";
inline constexpr const char* kDetermSearchPrompt = "Please search for \"Flitter\"";
inline constexpr const char* kDetermSearchQuestion = "Is the search correct ?";
inline constexpr const char* kDetermCheckSiteMessage = "Check the site correctness and try again";
inline constexpr const char* kDetermFailedMessage =
    "Sorry, this searching engine cannot be used by Flitter.\n"
    "If you think it should work, please tell us by e-mail at support@plover.example.";
inline constexpr unsigned kDetermCheckTimerMs = 100;
inline constexpr unsigned kDetermBlinkTimerMs = 500;

// The template made from a result address: every test word replaced by the marker.
std::string TemplateFromResultAddress(const std::string& address);

class CSearchEngineFormatDetermDlg {
public:
    enum class EResult { Running, Determined, Closed };

    // The browser must outlive the dialog; siteAddress is the address to open.
    CSearchEngineFormatDetermDlg(IWebBrowser& browser, std::string siteAddress);

    // Opens the site: navigation, the loading prompt, both timers, stage 0, no buttons.
    void Open();
    void OnCheckTimer();
    void OnBlinkTimer();
    void OnYes();
    void OnNo();

    // What the front end shows.
    const std::string& Prompt() const { return prompt_; }
    bool PromptVisible() const { return promptVisible_; }
    bool ButtonsVisible() const { return buttons_; }
    bool CheckTimerRunning() const { return checking_; }
    bool Blinking() const { return blinking_; }
    int Stage() const { return stage_; }
    const std::string& LastSeenAddress() const { return lastSeen_; }

    // The outcome: the template when Determined; the text to say on closing (may be empty).
    EResult Result() const { return result_; }
    const std::string& Template() const { return template_; }
    const std::string& Message() const { return message_; }

private:
    void Ask(const char* question);
    void Close(EResult result, const char* message);
    void Fail() { Close(EResult::Closed, kDetermFailedMessage); }

    IWebBrowser& browser_;
    std::string lastSeen_;
    std::string prompt_;
    std::string template_;
    std::string message_;
    int stage_ = 0;
    bool promptVisible_ = true;
    bool buttons_ = false;
    bool checking_ = false;
    bool blinking_ = false;
    EResult result_ = EResult::Running;
};

}  // namespace plover
