#include "scan/search_site.h"

#include <algorithm>
#include <new>
#include <vector>

namespace plover {

namespace {

struct SDefaultSite {
    const char* title;
    const char* format;
};

// The four sites of a reset, in this order: a general web search, a music file search, a second
// general web search and a file mirror search. Their hosts are under the reserved ".example"
// domain: no search leaves the machine for a stranger's server until the user points a site at a
// real engine (plover search edit).
constexpr SDefaultSite kDefaultSites[] = {
    {"www.websearch.example", "http://search.websearch.example/default.asp?lpv=1&loc=searchhp&tab=web&query=_TEXT_TO_SEARCH_"},
    {"www.musicsearch.example",
     "http://search.musicsearch.example/search.phtml?session=1&query=_TEXT_TO_SEARCH_&perpage=50&smartsearch=yes"
     "&ftypes=.mp3&ftypes=.vqf&ftypes=.aac&ftypes=.ra&minrel=0"},
    {"www.netsearch.example", "http://search.netsearch.example/results.asp?RS=CHECKED&FORM=MSNH&v=1&q=_TEXT_TO_SEARCH_"},
    {"www.mirrorsearch.example",
     "http://search.mirrorsearch.example/search.src?type=contains&file=_TEXT_TO_SEARCH_&perpage=50&action=find&page=1"},
};

bool IsUnreservedByte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// Subkey names "0", "1", ... in the order of their numbers; other names come last.
long SubkeyNumber(const std::string& name) {
    if (name.empty() || name.size() > 9 || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 1000000000L;
    return std::stol(name);
}

}  // namespace

// ---- one site ----

CSearchSite* CSearchSite::Create(std::string title, std::string format) {
    return new (std::nothrow) CSearchSite(std::move(title), std::move(format));
}

HRESULT CSearchSite::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_ISearchSite) {
        *out = static_cast<ISearchSite*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t CSearchSite::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

std::string CSearchSite::MakeSearchURL(const char* text) { return FillSearchTemplate(format_, text ? text : ""); }

void CSearchSite::SetTitle(const char* title) {
    if (title) title_ = title;
}

void CSearchSite::SetFormat(const char* format) {
    if (format) format_ = format;
}

bool CSearchSite::Clone(ISearchSite** out) {
    if (!out) return false;
    *out = Create(title_, format_);
    return *out != nullptr;
}

bool CSearchSite::Load(const CBRRegKey& key) {
    std::string title, format;
    if (!key.ReadString("csTitle", title) || title.empty()) return false;
    if (!key.ReadString("csFormat", format) || format.empty()) return false;
    title_ = std::move(title);
    format_ = std::move(format);
    return true;
}

bool CSearchSite::Save(CBRRegKey& key) { return key.WriteString("csTitle", title_) && key.WriteString("csFormat", format_); }

// ---- the rules ----

std::string FillSearchTemplate(std::string_view format, std::string_view text) {
    std::string_view marker = kSearchTextMarker;
    size_t at = format.find(marker);
    if (at == std::string_view::npos) return {};
    std::string url;
    url.reserve(format.size() - marker.size() + text.size());
    url.append(format.substr(0, at)).append(text).append(format.substr(at + marker.size()));
    return url;
}

std::string EscapeSearchText(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (IsUnreservedByte(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string BuildSearchURL(ISearchSite* site, std::string_view text) {
    if (!site) return {};
    return site->MakeSearchURL(EscapeSearchText(text).c_str());
}

bool ApplySiteProperties(ISearchSite* site, const std::string& title, const std::string& format, std::string* error) {
    if (title.empty() || format.empty()) {
        if (error) *error = kSiteEmptyMessage;
        return false;
    }
    if (!site) return false;
    site->SetTitle(title.c_str());
    site->SetFormat(format.c_str());
    return true;
}

// ---- the list ----

bool CSearchSiteList::GetSite(int index, ISearchSite** out) const {
    if (!out || index < 0 || index >= GetCount()) return false;
    *out = sites_[size_t(index)];
    (*out)->AddRef();
    return true;
}

int CSearchSiteList::Add(ISearchSite* site) {
    if (!site) return -1;
    return int(sites_.Add(site));
}

bool CSearchSiteList::RemoveAt(int index) {
    if (index < 0 || index >= GetCount()) return false;
    sites_.RemoveAt(size_t(index));
    return true;
}

void CSearchSiteList::ResetToDefaults() {
    sites_.RemoveAll();
    for (const SDefaultSite& d : kDefaultSites) {
        auto site = RefPtr<ISearchSite>::Adopt(CSearchSite::Create(d.title, d.format));
        Add(site.Get());
    }
}

void CSearchSiteList::Load(const HKEY& ploverKey) {
    CBRRegKey key;
    if (!key.OpenForRead(ploverKey, kSearchSitesKey)) return;
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; key.EnumKey(i, name); ++i) names.push_back(name);
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return SubkeyNumber(a) < SubkeyNumber(b); });
    sites_.RemoveAll();
    for (const std::string& n : names) {
        CBRRegKey siteKey;
        auto site = RefPtr<ISearchSite>::Adopt(CSearchSite::Create());
        if (site && siteKey.OpenForRead(key, n.c_str()) && site->Load(siteKey)) Add(site.Get());
    }
}

void CSearchSiteList::Save(const HKEY& ploverKey) {
    CBRRegKey::DeleteTree(ploverKey, kSearchSitesKey);
    CBRRegKey key;
    if (!key.OpenForWrite(ploverKey, kSearchSitesKey)) return;
    for (int i = 0; i < GetCount(); ++i) {
        CBRRegKey siteKey;
        if (siteKey.OpenForWrite(key, std::to_string(i).c_str())) sites_[size_t(i)]->Save(siteKey);
    }
}

CSearchSiteList& GetSearchSites() {
    static CSearchSiteList& list = *[] {
        static CSearchSiteList l;
        l.ResetToDefaults();
        return &l;
    }();
    return list;
}

void SerializeSearchSites(const HKEY& ploverKey, bool load) {
    if (load)
        GetSearchSites().Load(ploverKey);
    else
        GetSearchSites().Save(ploverKey);
}

}  // namespace plover
