#pragma once
// The table-driven serializer: a group of variables is described once as a table of rows
// (value name, address, kind, size, count, factory) and loaded or saved in one call.
//
// Kinds: 1 an unsigned and 2 a signed 32-bit number; 3 a binary block of `size` bytes (a stored
// block of another size zeroes the variable); 4 a string; 5 `count` records lying in an array,
// each serializing itself under its own subkey; 6 an owning array of record pointers, whose load
// makes one record per subkey through `factory` and hands it the subkey's name read as a
// number. 0 ends a table. Every failure is silent: a key that cannot be opened skips the group,
// a missing value leaves its variable as it was.
//
// Records that store themselves derive from SRegAutoSaveItem; most describe their values with a
// table of their own and derive from SRegTableItem, which also lets the settings commands list
// and change their values by name.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/reg_key.h"
#include "engine/containers.h"

namespace plover {

enum ERegKind : int {
    kRegEnd = 0,
    kRegDWord = 1,
    kRegInt = 2,
    kRegBinary = 3,
    kRegString = 4,
    kRegRecords = 5,
    kRegRecordPtrs = 6,
};

// The base of every record that stores itself.
struct SRegAutoSaveItem {
    // Opens (for reading on load, for writing on save) a subkey of parent named after index and
    // loads or saves the record's values there.
    virtual void Serialize(const HKEY& parent, bool load, int index) = 0;
    virtual ~SRegAutoSaveItem() = default;
};

// How the serializer reaches the records of a kind-5 or kind-6 row without knowing their type.
struct SRegArrayOps {
    SRegAutoSaveItem* (*at)(void* target, size_t i);
    size_t (*size)(void* target);                            // kind 6
    bool (*append)(void* target, SRegAutoSaveItem* record);  // kind 6: takes ownership
};

struct SRegTableEntry {
    const char* name = nullptr;  // value name; null for kinds 5 and 6
    void* target = nullptr;      // the variable, the first record, or the record array
    int kind = kRegEnd;
    size_t size = 0;             // kind 3: block size; kind 5: distance between records
    int count = 0;               // kind 5: number of records
    SRegAutoSaveItem* (*factory)() = nullptr;  // kind 6: a new empty record
    const SRegArrayOps* ops = nullptr;         // kinds 5 and 6
};

// Runs the rows in order until one of kind 0 (or the end). With a subkey name, works on that
// subkey of parent (opened for reading on load, for writing on save; nothing is done when it
// cannot be opened); without one (null), on parent itself.
void SerializeTable(std::span<const SRegTableEntry> table, const HKEY& parent, const char* subkey, bool load);

// ---- building rows ----

inline SRegTableEntry RegDWord(const char* name, uint32_t& v) { return {name, &v, kRegDWord}; }
inline SRegTableEntry RegInt(const char* name, int32_t& v) { return {name, &v, kRegInt}; }
inline SRegTableEntry RegString(const char* name, std::string& v) { return {name, &v, kRegString}; }
template <class T>
SRegTableEntry RegBinary(const char* name, T& block) {
    static_assert(std::is_trivially_copyable_v<T>);
    return {name, &block, kRegBinary, sizeof(T)};
}

template <class T>
SRegTableEntry RegRecords(T* first, int count) {
    static const SRegArrayOps ops{
        [](void* t, size_t i) -> SRegAutoSaveItem* { return &static_cast<T*>(t)[i]; }, nullptr, nullptr};
    return {nullptr, first, kRegRecords, sizeof(T), count, nullptr, &ops};
}

template <class T>
SRegTableEntry RegRecordPtrs(CGCPtrArray<T>& array, SRegAutoSaveItem* (*factory)()) {
    static const SRegArrayOps ops{
        [](void* t, size_t i) -> SRegAutoSaveItem* { return (*static_cast<CGCPtrArray<T>*>(t))[i]; },
        [](void* t) { return static_cast<CGCPtrArray<T>*>(t)->GetSize(); },
        [](void* t, SRegAutoSaveItem* r) {
            T* typed = dynamic_cast<T*>(r);
            if (!typed) {
                delete r;
                return false;
            }
            static_cast<CGCPtrArray<T>*>(t)->Add(typed);
            return true;
        }};
    return {nullptr, &array, kRegRecordPtrs, 0, 0, factory, &ops};
}

// A record described by a table of its own, stored under a subkey named after its index.
struct SRegTableItem : SRegAutoSaveItem {
    void Serialize(const HKEY& parent, bool load, int index) override {
        SerializeTable(Table(), parent, KeyName(index).c_str(), load);
    }
    virtual std::string KeyName(int index) const = 0;
    virtual std::vector<SRegTableEntry> Table() = 0;
};

// Reads a kind-6 subkey name as a decimal number: leading blanks and one sign allowed, digits
// up to the first other character; 0 when there are none.
int RegKeyIndex(const std::string& name);

}  // namespace plover
