#include "scan/scan_profile.h"

#include <algorithm>
#include <cctype>

namespace plover {

std::vector<SRegTableEntry> SScanProfile::Table() {
    return {
        RegInt("bThumbnails", bThumbnails),
        RegInt("bLargePictures", bLargePictures),
        RegInt("bLinks", bLinks),
        RegInt("bRecurse", bRecurse),
        RegInt("bOneThumbnailFromEach", bOneThumbnailFromEach),
        RegString("csName", csName),
        RegString("csDescription", csDescription),
        RegInt("iDepth", iDepth),
        RegInt("bOnlyThisSite", bOnlyThisSite),
        RegInt("bResponsivePictures", bResponsivePictures),
    };
}

void SScanProfile::Serialize(const HKEY& parent, bool load, int index) {
    if (load) loadedIndex = index;
    SRegTableItem::Serialize(parent, load, index);
}

bool SameProfileFields(const SScanProfile& a, const SScanProfile& b) {
    return a.bThumbnails == b.bThumbnails && a.bLargePictures == b.bLargePictures && a.bLinks == b.bLinks &&
           a.bRecurse == b.bRecurse && a.bOneThumbnailFromEach == b.bOneThumbnailFromEach &&
           a.bOnlyThisSite == b.bOnlyThisSite && a.csName == b.csName && a.csDescription == b.csDescription &&
           a.iDepth == b.iDepth && a.bResponsivePictures == b.bResponsivePictures;
}

std::vector<SScanProfile> DefaultScanProfiles() {
    struct SRow {
        const char* name;
        const char* description;
        int32_t thumbnails, largePictures, links, recurse, oneFromEach;
    };
    static constexpr SRow kRows[] = {
        {"Scan Single Page",
         "Scan only one page. Extract all the thumbnails, large picture links and links to other pages.", 1, 1, 1, 0,
         0},
        {"Scan Thumbnailed Gallery",
         "Scan a gallery recursively starting from the root URL. Extract only one thumbnail from each page.", 1, 0, 0,
         1, 1},
        {"Scan Non-thumbnailed Gallery",
         "Scan a gallery recursively starting from the root URL. Extract the links to non-thumbnailed pictures.", 0,
         1, 0, 1, 1},
        {"Scan Mixed Gallery",
         "Scan a gallery recursively starting from the root URL. Extract both thumbnails and the links to "
         "non-thumbnailed pictures.",
         1, 1, 0, 1, 1},
    };
    std::vector<SScanProfile> out;
    for (const SRow& r : kRows) {
        SScanProfile p;
        p.csName = r.name;
        p.csDescription = r.description;
        p.bThumbnails = r.thumbnails;
        p.bLargePictures = r.largePictures;
        p.bLinks = r.links;
        p.bRecurse = r.recurse;
        p.bOneThumbnailFromEach = r.oneFromEach;
        p.bOnlyThisSite = 0;
        p.iDepth = 5;
        out.push_back(p);
    }
    return out;
}

namespace {

SRegAutoSaveItem* NewProfile() { return new SScanProfile; }

}  // namespace

void CScanProfileList::Load(const HKEY& ploverKey) {
    profiles_.RemoveAll();
    CBRRegKey key;
    if (key.OpenForRead(ploverKey, kScanProfilesKey)) {
        SRegTableEntry rows[] = {RegRecordPtrs(profiles_, NewProfile)};
        SerializeTable(rows, key, nullptr, true);
    }
    // The store hands the subkeys over in its own order; the list keeps the order of their
    // numbers, which is the order they were saved in ("10" comes after "9", not after "1").
    std::vector<SScanProfile*> loaded(profiles_.begin(), profiles_.end());
    std::stable_sort(loaded.begin(), loaded.end(),
                     [](const SScanProfile* a, const SScanProfile* b) { return a->loadedIndex < b->loadedIndex; });
    for (size_t i = 0; i < loaded.size(); ++i) profiles_[i] = loaded[i];
    if (profiles_.IsEmpty()) CreateDefaults();
}

void CScanProfileList::Save(const HKEY& ploverKey) {
    CBRRegKey::DeleteTree(ploverKey, kScanProfilesKey);
    CBRRegKey key;
    if (!key.OpenForWrite(ploverKey, kScanProfilesKey)) return;
    SRegTableEntry rows[] = {RegRecordPtrs(profiles_, NewProfile)};
    SerializeTable(rows, key, nullptr, false);
}

void CScanProfileList::CreateDefaults() {
    for (const SScanProfile& p : DefaultScanProfiles()) AddCopy(p);
}

int CScanProfileList::AddCopy(const SScanProfile& from) {
    auto* p = new SScanProfile;
    *p = from;
    p->loadedIndex = -1;
    return int(profiles_.Add(p));
}

int CScanProfileList::Find(const SScanProfile* profile) const { return int(profiles_.Find(profile)); }

bool CScanProfileList::Remove(SScanProfile* profile) {
    ptrdiff_t i = profiles_.Find(profile);
    if (i < 0) return false;
    profiles_.RemoveAt(size_t(i));
    delete profile;
    return true;
}

int CScanProfileList::FindByNameOrNumber(const std::string& text) const {
    if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (text.size() <= 9) {
            int i = std::stoi(text);
            if (i < GetSize()) return i;
        }
    }
    for (int i = 0; i < GetSize(); ++i) {
        const std::string& name = profiles_[size_t(i)]->csName;
        if (name.size() == text.size() &&
            std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return i;
    }
    return -1;
}

CScanProfileList& GetScanProfiles() {
    // A first start has no program key at all, so nothing is loaded: the defaults stand.
    static CScanProfileList& list = *[] {
        static CScanProfileList l;
        l.CreateDefaults();
        return &l;
    }();
    return list;
}

void SerializeScanProfiles(const HKEY& ploverKey, bool load) {
    if (load)
        GetScanProfiles().Load(ploverKey);
    else
        GetScanProfiles().Save(ploverKey);
}

bool SetProfileNameAndDescription(SScanProfile& profile, const std::string& name, const std::string& description,
                                  std::string* error) {
    if (name.empty()) {
        if (error) *error = kProfileNameEmptyMessage;
        return false;
    }
    profile.csName = name;
    profile.csDescription = description;
    return true;
}

std::string CheckProfileCanScan(const SScanProfile& profile) {
    if (!profile.bThumbnails && !profile.bLargePictures && !profile.bLinks) return kNothingToScanMessage;
    return {};
}

std::string DeleteProfileQuestion(const SScanProfile& profile) {
    return "Do you want to delete the '" + profile.csName + "' profile?";
}

}  // namespace plover
