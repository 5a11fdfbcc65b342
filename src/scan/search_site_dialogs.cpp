#include "scan/search_site_dialogs.h"

namespace plover {

// ---- site properties ----

CSearchEnginePropDlg::CSearchEnginePropDlg(ISearchSite* site) : site_(site) {
    if (site) {
        title = site->GetTitle();
        format = site->GetFormat();
    } else {
        format = kNewSiteFormat;
    }
}

bool CSearchEnginePropDlg::OnOk(std::string* error) {
    if (title.empty() || format.empty()) {
        if (error) *error = kSiteEmptyMessage;
        return false;
    }
    if (!site_) site_ = RefPtr<ISearchSite>::Adopt(CSearchSite::Create());
    return ApplySiteProperties(site_.Get(), title, format, error);
}

bool CSearchEnginePropDlg::CanDetermineFormat(std::string* error) const {
    if (!title.empty()) return true;
    if (error) *error = kEnterSiteMessage;
    return false;
}

// ---- format determination ----

std::string TemplateFromResultAddress(const std::string& address) {
    const std::string word = kSearchTestWord;
    std::string out;
    size_t from = 0;
    for (size_t at; (at = address.find(word, from)) != std::string::npos; from = at + word.size())
        out.append(address, from, at - from).append(kSearchTextMarker);
    return out.append(address, from, std::string::npos);
}

CSearchEngineFormatDetermDlg::CSearchEngineFormatDetermDlg(IWebBrowser& browser, std::string siteAddress)
    : browser_(browser), lastSeen_(std::move(siteAddress)) {}

void CSearchEngineFormatDetermDlg::Open() {
    browser_.Navigate(lastSeen_);
    prompt_ = kDetermLoadingPrompt;
    promptVisible_ = true;
    buttons_ = false;
    blinking_ = false;
    checking_ = true;
    stage_ = 0;
}

void CSearchEngineFormatDetermDlg::OnCheckTimer() {
    if (!checking_ || result_ != EResult::Running || !browser_.IsLoadingComplete()) return;
    std::string current = browser_.GetCurrentAddress();
    if (stage_ == 0) {
        // The site has loaded once the browser shows a real page. The address given may already be
        // exactly the one the browser shows ("http://host/"), so it is not compared here: waiting
        // for it to change would leave the dialog loading for ever.
        if (current.empty() || current == "about:blank") return;
        checking_ = false;
        Ask(kDetermSiteQuestion);
        return;
    }
    // Stage 1: the user's search has led to a new page.
    if (current == lastSeen_) return;
    checking_ = false;
    lastSeen_ = current;
    if (current.find(kSearchTestWord) == std::string::npos) {
        Fail();
        return;
    }
    stage_ = 2;
    Ask(kDetermSearchQuestion);
}

void CSearchEngineFormatDetermDlg::OnBlinkTimer() {
    if (result_ != EResult::Running) return;
    promptVisible_ = blinking_ ? !promptVisible_ : true;
}

void CSearchEngineFormatDetermDlg::OnYes() {
    if (result_ != EResult::Running || !buttons_) return;
    if (stage_ == 0) {
        stage_ = 1;
        lastSeen_ = browser_.GetCurrentAddress();
        prompt_ = kDetermSearchPrompt;
        buttons_ = false;
        blinking_ = false;
        promptVisible_ = true;
        checking_ = true;
    } else if (stage_ == 2) {
        template_ = TemplateFromResultAddress(lastSeen_);
        Close(EResult::Determined, "");
    }
}

void CSearchEngineFormatDetermDlg::OnNo() {
    if (result_ != EResult::Running || !buttons_) return;
    if (stage_ == 0)
        Close(EResult::Closed, kDetermCheckSiteMessage);
    else if (stage_ == 2)
        Fail();
}

void CSearchEngineFormatDetermDlg::Ask(const char* question) {
    prompt_ = question;
    buttons_ = true;
    blinking_ = true;
}

void CSearchEngineFormatDetermDlg::Close(EResult result, const char* message) {
    result_ = result;
    message_ = message;
    checking_ = false;
    blinking_ = false;
    buttons_ = false;
    promptVisible_ = true;
}

}  // namespace plover
