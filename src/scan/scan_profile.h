#pragma once
// Scan profiles: named rules for one kind of scan — what to collect (thumbnails, large pictures,
// page links) and whether and how far to follow links to further pages. The program keeps one
// ordered list of profiles; the user picks one when starting a scan and the scanner gets a copy.
//
// The list is stored with the other settings under "ScanProfiles": one subkey per profile, named
// by its position ("0", "1", ...). Saving deletes the whole "ScanProfiles" key first and writes
// every profile again in list order, so removed profiles disappear and positions are renumbered.
// Loading reads every subkey (in the order of their numbers) and, when none was found, creates
// the four default profiles.
#include <cstdint>
#include <string>
#include <vector>

#include "app/reg_table.h"
#include "engine/containers.h"

namespace plover {

struct SScanProfile : SRegTableItem {
    int32_t bThumbnails = 1;            // collect thumbnails
    int32_t bLargePictures = 1;         // collect large pictures
    int32_t bLinks = 0;                 // collect page links
    int32_t bRecurse = 0;               // follow links to further pages
    int32_t bOneThumbnailFromEach = 0;  // with bRecurse: only the first thumbnail link of each page
    int32_t bOnlyThisSite = 0;          // with bRecurse: only pages on the start address's host
    std::string csName = "New Profile"; // never empty
    std::string csDescription;
    int32_t iDepth = 5;                 // with bRecurse: link levels below the start page
    // Read responsive and lazy pictures (srcset, <picture> sources, data-src and its kin): a
    // thumbnail's small picture is the real one rather than a placeholder, a large picture is
    // the widest candidate. Profiles stored before it existed load with it on.
    int32_t bResponsivePictures = 1;

    SScanProfile() = default;
    SScanProfile(const SScanProfile&) = default;
    SScanProfile& operator=(const SScanProfile&) = default;  // copies every field

    // The subkey "%d" of the profile's position; the values in their stored order.
    std::string KeyName(int index) const override { return std::to_string(index); }
    std::vector<SRegTableEntry> Table() override;
    void Serialize(const HKEY& parent, bool load, int index) override;

    int loadedIndex = -1;  // the subkey number a loaded profile came from (not stored)
};

bool SameProfileFields(const SScanProfile& a, const SScanProfile& b);

// The four profiles created when none is stored, in this order: "Scan Single Page",
// "Scan Thumbnailed Gallery", "Scan Non-thumbnailed Gallery", "Scan Mixed Gallery".
std::vector<SScanProfile> DefaultScanProfiles();

// The ordered list; it owns its profiles.
class CScanProfileList {
public:
    int GetSize() const { return int(profiles_.GetSize()); }
    SScanProfile* GetAt(int i) const { return i >= 0 && i < GetSize() ? profiles_[size_t(i)] : nullptr; }

    // Reads the list from the "ScanProfiles" subkey of the program's key (replacing it); when it is
    // empty afterwards, the four defaults are created.
    void Load(const HKEY& ploverKey);
    // Deletes the "ScanProfiles" key with its subkeys and writes every profile in list order.
    void Save(const HKEY& ploverKey);
    void CreateDefaults();

    // Appends a new profile assigned from `from`; returns its position.
    int AddCopy(const SScanProfile& from);
    // The position of the profile, or -1.
    int Find(const SScanProfile* profile) const;
    // Takes the profile out of the list and deletes it; false when it is not in the list.
    bool Remove(SScanProfile* profile);
    // How the command line names a profile: its position ("0", "1", ...) or its name (any case;
    // the first one of that name). -1 when none matches.
    int FindByNameOrNumber(const std::string& text) const;
    void RemoveAll() { profiles_.RemoveAll(); }

private:
    CGCPtrArray<SScanProfile> profiles_;
};

// The program's list, stored with the main settings through SerializeScanProfiles (the
// settings group: given the program's key and the load flag). It holds the four defaults until a
// load replaces them, so a first start (no stored settings at all) has them too.
CScanProfileList& GetScanProfiles();
void SerializeScanProfiles(const HKEY& ploverKey, bool load);

inline constexpr const char* kScanProfilesKey = "ScanProfiles";

// ---- the rules of the editing interface ----

inline constexpr const char* kProfileNameEmptyMessage = "Profile name cannot be empty.";
inline constexpr const char* kNothingToScanMessage =
    "You haven't selected what to scan for: thumbnails, links to other pictures or links to other pages.";
inline constexpr const char* kNoProfilesMessage =
    "There are no profiles to show. Please select \"New Profile\" to add profiles.";

// Stores name and description in the profile; refused (false, the profile unchanged, the reason
// in *error) when the name is empty.
bool SetProfileNameAndDescription(SScanProfile& profile, const std::string& name, const std::string& description,
                                  std::string* error);
// Empty when a scan may start with the profile; else the reason (nothing to collect).
std::string CheckProfileCanScan(const SScanProfile& profile);
// "Do you want to delete the 'NAME' profile?"
std::string DeleteProfileQuestion(const SScanProfile& profile);

}  // namespace plover
