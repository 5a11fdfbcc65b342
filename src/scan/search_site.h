#pragma once
// Search sites: a web search engine described by a URL template, the address of its result page
// with the marker "_TEXT_TO_SEARCH_" where the searched text goes. The program keeps one ordered
// list of sites; a search builds the address from a site and a text and scans it like any page.
//
// A site stores itself as two string values, "csTitle" and "csFormat", under a key that its
// caller chooses. The program's list lives under "SearchSites" in the program's key: one subkey
// per site, named by its position ("0", "1", ...). Saving deletes the whole key and writes every
// site again in list order; loading a missing key leaves the list as it is (the four defaults on
// a first start), while a key without sites gives an empty list (the user removed them all).
//
// MakeSearchURL puts the text into the template as it is; BuildSearchURL escapes it for a URL
// first, which is what a search from the user wants ("red car" becomes "red%20car").
#include <string>
#include <string_view>

#include "app/reg_key.h"
#include "engine/containers.h"
#include "platform/com.h"

namespace plover {

inline constexpr GUID IID_ISearchSite = MakeGuid("6D0B5C2E-41A7-4F38-9B1E-2C7F0A95D3E4");

inline constexpr const char* kSearchTextMarker = "_TEXT_TO_SEARCH_";
inline constexpr const char* kSearchSitesKey = "SearchSites";

struct ISearchSite : IUnknown {
    virtual std::string GetTitle() = 0;
    virtual std::string GetFormat() = 0;
    // The format with its first marker replaced by text, unchanged; empty without a marker.
    virtual std::string MakeSearchURL(const char* text) = 0;
    virtual void SetTitle(const char* title) = 0;    // a null title is ignored
    virtual void SetFormat(const char* format) = 0;  // a null format is ignored
    // A new site with the same title and format (its creation reference goes to *out).
    virtual bool Clone(ISearchSite** out) = 0;
    // Reads "csTitle" and "csFormat"; fails when either is missing or empty (the site unchanged).
    virtual bool Load(const CBRRegKey& key) = 0;
    // Writes "csTitle", then "csFormat"; fails as soon as one write fails.
    virtual bool Save(CBRRegKey& key) = 0;

protected:
    ~ISearchSite() = default;
};

class CSearchSite final : public ISearchSite {
public:
    // A new site with its creation reference (wrap it with RefPtr<ISearchSite>::Adopt).
    static CSearchSite* Create(std::string title = {}, std::string format = {});

    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;

    std::string GetTitle() override { return title_; }
    std::string GetFormat() override { return format_; }
    std::string MakeSearchURL(const char* text) override;
    void SetTitle(const char* title) override;
    void SetFormat(const char* format) override;
    bool Clone(ISearchSite** out) override;
    bool Load(const CBRRegKey& key) override;
    bool Save(CBRRegKey& key) override;

private:
    CSearchSite(std::string title, std::string format) : title_(std::move(title)), format_(std::move(format)) {}
    ~CSearchSite() = default;

    RefCount refs_;
    std::string title_;
    std::string format_;
};

// The template rule on its own: format with the first marker replaced by text; empty without one.
std::string FillSearchTemplate(std::string_view format, std::string_view text);
// The searched text escaped for a URL: letters, digits and "-._~" stay, every other byte
// (a space included) becomes %XX.
std::string EscapeSearchText(std::string_view text);
// The address a search of text on site opens: the escaped text in the site's template.
std::string BuildSearchURL(ISearchSite* site, std::string_view text);

// The application-wide list; it holds one reference to each site.
class CSearchSiteList {
public:
    int GetCount() const { return int(sites_.GetSize()); }
    // False outside 0..count-1; else *out receives the site with a new reference.
    bool GetSite(int index, ISearchSite** out) const;
    // Appends the site (adding a reference); returns its position.
    int Add(ISearchSite* site);
    bool RemoveAt(int index);
    // Releases every site and appends the four defaults in order.
    void ResetToDefaults();
    void RemoveAll() { sites_.RemoveAll(); }

    // Reads the sites stored under "SearchSites" (replacing the list) when the key exists; a
    // stored site that fails to load is left out.
    void Load(const HKEY& ploverKey);
    // Deletes "SearchSites" and writes every site in list order.
    void Save(const HKEY& ploverKey);

private:
    CInterfaceArray<ISearchSite> sites_;
};

// The program's list: the four defaults until a load replaces them.
CSearchSiteList& GetSearchSites();
// The settings group that keeps it with the main settings (given the program's key).
void SerializeSearchSites(const HKEY& ploverKey, bool load);

// ---- the editing rules ----

inline constexpr const char* kSiteEmptyMessage = "Site name and format cannot be empty";
inline constexpr const char* kEnterSiteMessage = "Please enter the searching engine site.";
inline constexpr const char* kResetSitesQuestion = "Do you really want to reset the searching engines?";
// The format a new site starts with.
inline constexpr const char* kNewSiteFormat = "_TEXT_TO_SEARCH_";

// Confirming the properties: refused (false, the site unchanged, the reason in *error) when the
// title or the format is empty; otherwise both are stored in the site.
bool ApplySiteProperties(ISearchSite* site, const std::string& title, const std::string& format, std::string* error);

}  // namespace plover
