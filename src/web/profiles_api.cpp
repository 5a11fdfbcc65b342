#include "web/profiles_api.h"

#include <mutex>

#include "scan/scan_profile.h"
#include "scan/search_site.h"
#include "web/options_api.h"
#include "web/utf8_text.h"

namespace plover::web {
namespace {

constexpr int kMaxDepth = 1000;
constexpr size_t kMaxText = 999;  // the store reads texts of at most this many bytes
constexpr int kMaxItems = 500;

struct SFlag {
    const char* key;
    int32_t SScanProfile::*field;
};
constexpr SFlag kFlags[] = {
    {"thumbnails", &SScanProfile::bThumbnails},
    {"largePictures", &SScanProfile::bLargePictures},
    {"links", &SScanProfile::bLinks},
    {"recurse", &SScanProfile::bRecurse},
    {"oneThumbnailFromEach", &SScanProfile::bOneThumbnailFromEach},
    {"onlyThisSite", &SScanProfile::bOnlyThisSite},
    {"responsivePictures", &SScanProfile::bResponsivePictures},
};

nlohmann::json ProfileJson(int index, const SScanProfile& p) {
    nlohmann::json j = {{"index", index},
                        {"name", ValidUtf8(p.csName)},
                        {"description", ValidUtf8(p.csDescription)},
                        {"depth", p.iDepth},
                        {"scanNote", CheckProfileCanScan(p)}};
    for (const SFlag& f : kFlags) j[f.key] = p.*f.field != 0;
    return j;
}

SApiAnswer Written(SApiAnswer answer) {
    std::string error;
    if (!WriteSettings(&error)) return ApiError(500, error);
    return answer;
}

// A text field that fits the store: one line unless multiLine, at most 999 bytes.
bool TextOf(const nlohmann::json& body, const char* key, std::string& out, std::string& refusal, bool multiLine = false) {
    if (!body.contains(key)) return true;
    if (!body[key].is_string()) {
        refusal = std::string("\"") + key + "\" must be a string.";
        return false;
    }
    std::string text = body[key].get<std::string>();
    if (text.size() > kMaxText || (!multiLine && text.find_first_of("\r\n") != std::string::npos)) {
        refusal = std::string("The ") + key + " is too long or not one line.";
        return false;
    }
    out = text;
    return true;
}

// The profile as the fields of the body change it; false with the refusal.
bool ApplyProfile(const nlohmann::json& body, SScanProfile& p, SApiAnswer& refused) {
    SScanProfile next = p;
    for (const SFlag& f : kFlags) {
        if (!body.contains(f.key)) continue;
        if (!body[f.key].is_boolean()) {
            refused = ApiError(400, std::string("\"") + f.key + "\" must be true or false.");
            return false;
        }
        next.*f.field = body[f.key].get<bool>() ? 1 : 0;
    }
    if (body.contains("depth")) {
        const nlohmann::json& d = body["depth"];
        if (!d.is_number_integer() || d.get<long long>() < 0 || d.get<long long>() > kMaxDepth) {
            refused = ApiError(422, "The depth must be a whole number from 0 to 1000.");
            return false;
        }
        next.iDepth = int32_t(d.get<long long>());
    }
    std::string name = next.csName, description = next.csDescription, why;
    if (!TextOf(body, "name", name, why) || !TextOf(body, "description", description, why, true)) {
        refused = ApiError(422, why);
        return false;
    }
    if (!SetProfileNameAndDescription(next, name, description, &why)) {
        refused = ApiError(422, why);
        return false;
    }
    p = next;
    return true;
}

nlohmann::json SitesJson() {
    nlohmann::json sites = nlohmann::json::array();
    CSearchSiteList& list = GetSearchSites();
    for (int i = 0; i < list.GetCount(); ++i) {
        RefPtr<ISearchSite> site;
        if (list.GetSite(i, site.Put()))
            sites.push_back({{"index", i}, {"title", ValidUtf8(site->GetTitle())}, {"format", ValidUtf8(site->GetFormat())}});
    }
    return {{"sites", sites}};
}

bool Confirmed(const nlohmann::json& body) { return body.contains("confirm") && body["confirm"] == true; }

}  // namespace

SApiAnswer ListProfiles() {
    std::lock_guard g(SettingsLock());
    nlohmann::json list = nlohmann::json::array();
    CScanProfileList& profiles = GetScanProfiles();
    for (int i = 0; i < profiles.GetSize(); ++i) list.push_back(ProfileJson(i, *profiles.GetAt(i)));
    return {200, {{"profiles", list}, {"empty", kNoProfilesMessage}}};
}

SApiAnswer SaveProfile(int index, const nlohmann::json& body) {
    std::lock_guard g(SettingsLock());
    CScanProfileList& profiles = GetScanProfiles();
    SApiAnswer refused;
    if (index < 0) {
        if (profiles.GetSize() >= kMaxItems) return ApiError(422, "There are 500 profiles already.");
        SScanProfile fresh;  // a new profile has the defaults
        if (!ApplyProfile(body, fresh, refused)) return refused;
        index = profiles.AddCopy(fresh);
    } else {
        SScanProfile* p = profiles.GetAt(index);
        if (!p) return ApiError(404, "There is no such profile.");
        if (!ApplyProfile(body, *p, refused)) return refused;
    }
    return Written({200, ProfileJson(index, *profiles.GetAt(index))});
}

SApiAnswer DeleteProfile(int index) {
    std::lock_guard g(SettingsLock());
    SScanProfile* p = GetScanProfiles().GetAt(index);
    if (!p) return ApiError(404, "There is no such profile.");
    GetScanProfiles().Remove(p);
    return Written({200, {{"deleted", index}}});
}

SApiAnswer ResetProfiles(const nlohmann::json& body) {
    if (!Confirmed(body)) return ApiError(400, "Resetting needs {\"confirm\": true}.");
    {
        std::lock_guard g(SettingsLock());
        GetScanProfiles().RemoveAll();
        GetScanProfiles().CreateDefaults();
        std::string error;
        if (!WriteSettings(&error)) return ApiError(500, error);
    }
    return ListProfiles();
}

SApiAnswer ListSearchSites() {
    std::lock_guard g(SettingsLock());
    return {200, SitesJson()};
}

SApiAnswer SaveSearchSite(int index, const nlohmann::json& body) {
    std::lock_guard g(SettingsLock());
    CSearchSiteList& list = GetSearchSites();
    RefPtr<ISearchSite> site;
    if (index >= 0 && !list.GetSite(index, site.Put())) return ApiError(404, "There is no such search site.");
    if (index < 0 && list.GetCount() >= kMaxItems) return ApiError(422, "There are 500 search sites already.");
    std::string title = site ? site->GetTitle() : "", format = site ? site->GetFormat() : kNewSiteFormat, why;
    if (!TextOf(body, "title", title, why) || !TextOf(body, "format", format, why)) return ApiError(422, why);
    RefPtr<ISearchSite> target = site ? site : RefPtr<ISearchSite>::Adopt(CSearchSite::Create());
    if (!ApplySiteProperties(target.Get(), title, format, &why)) return ApiError(422, why);
    if (index < 0) index = list.Add(target.Get());
    std::string error;
    if (!WriteSettings(&error)) return ApiError(500, error);
    return {200, {{"index", index}, {"title", ValidUtf8(target->GetTitle())}, {"format", ValidUtf8(target->GetFormat())}}};
}

SApiAnswer DeleteSearchSite(int index) {
    std::lock_guard g(SettingsLock());
    if (!GetSearchSites().RemoveAt(index)) return ApiError(404, "There is no such search site.");
    return Written({200, {{"deleted", index}}});
}

SApiAnswer ResetSearchSites(const nlohmann::json& body) {
    if (!Confirmed(body)) return ApiError(400, "Resetting needs {\"confirm\": true}.");
    std::lock_guard g(SettingsLock());
    GetSearchSites().ResetToDefaults();
    return Written({200, SitesJson()});
}

}  // namespace plover::web
