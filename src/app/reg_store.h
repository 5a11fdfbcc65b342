#pragma once
// The settings store: the tree of keys that the registry of the current user is on Windows,
// kept as one text file (reg_text.h) in the settings folder. It is read once at start and
// written once at exit, atomically: the text goes to a temporary file beside the store, is
// flushed to disk, and then renamed over the store, so that a crash or a kill at any moment
// leaves either the old store or the new one, never a torn one.
//
// A store file that does not load completely (it cannot be parsed, it is empty, or it lacks the
// end line that every save writes) is never overwritten: Load keeps it aside (kept_aside.h:
// "settings.txt.damaged-YYYYMMDD-HHMMSS"), reports it, and the program starts from its defaults. A store that exists but cannot be read at all (no permission, an I/O error) is left
// where it is and the store refuses to save over it.
#include <filesystem>
#include <string>

#include "app/reg_node.h"

namespace plover {

inline constexpr const char* kStoreFileName = "settings.txt";

class CRegStore {
public:
    enum class ELoadStatus { Loaded, Missing, Damaged, Unreadable };
    struct SLoadResult {
        ELoadStatus status = ELoadStatus::Missing;
        std::string reason;            // Damaged, Unreadable: what went wrong
        std::filesystem::path keptAs;  // Damaged: where the damaged file now lies (empty if it could not be moved)
        std::string moveError;         // Damaged, not moved: why
    };

    CRegStore();
    CRegStore(const CRegStore&) = delete;
    CRegStore& operator=(const CRegStore&) = delete;

    // The root of the tree (HKEY_CURRENT_USER).
    HKEY Root() const { return root_; }
    const std::filesystem::path& File() const { return file_; }

    // Replaces the tree with the file's contents (an empty tree when the file is missing or
    // damaged) and remembers the file for Save. Temporary files left by an interrupted save
    // are removed. A reader (readOnly) leaves every file as it is, a damaged one and another
    // process's temporary files included, and never saves.
    SLoadResult Load(const std::filesystem::path& file, bool readOnly = false);
    // Writes the tree to the remembered file atomically. False with a reason when no file has
    // been loaded, the store was unreadable, or writing failed (the old file then stays). A tree
    // that would write what the file already holds (as read or last written) is not written again.
    bool Save(std::string* error = nullptr);

private:
    HKEY root_;
    std::filesystem::path file_;
    bool saveRefused_ = false;
    std::string onDisk_;  // the file's text as this run last read or wrote it
};

// The process-wide store, whose root every CBRRegKey of the program opens from.
CRegStore& GetRegStore();
inline HKEY RegCurrentUser() { return GetRegStore().Root(); }

}  // namespace plover
