#pragma once
// One key of the settings store: named subkeys and typed values (a 32-bit number, a string, a
// binary block), each kept in the order in which it was first created. Names are compared
// without regard to ASCII case, as the registry compares them, and keep the case they were
// created with. A key that has been deleted from its tree is marked deleted, together with
// everything below it: handles that still point into it see the deletion and their writes fail.
//
// Nodes are reached through shared pointers (HKEY), so an open handle never dangles. The store's
// lock (RegLock) guards every tree; CBRRegKey takes it, direct users of a node take it too.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace plover {

enum class ERegType : uint8_t { DWord, String, Binary };

struct SRegValue {
    std::string name;
    ERegType type = ERegType::DWord;
    uint32_t number = 0;  // DWord
    std::string bytes;    // String (the text) or Binary (the block)

    bool operator==(const SRegValue&) const = default;
};

class CRegNode;
using HKEY = std::shared_ptr<CRegNode>;

class CRegNode {
public:
    explicit CRegNode(std::string name) : name_(std::move(name)) {}
    CRegNode(const CRegNode&) = delete;
    CRegNode& operator=(const CRegNode&) = delete;
    ~CRegNode();

    const std::string& Name() const { return name_; }
    bool IsDeleted() const { return deleted_; }

    const std::vector<SRegValue>& Values() const { return values_; }
    const SRegValue* FindValue(std::string_view name) const;
    // Adds the value, or replaces the one of that name in its place (keeping its spelling).
    void SetValue(SRegValue v);
    bool DeleteValue(std::string_view name);

    const std::vector<HKEY>& Children() const { return children_; }
    HKEY FindChild(std::string_view name) const;
    // The child of that name, created at the end when missing; null for an empty name.
    HKEY CreateChild(std::string_view name);
    // Removes the child with everything below it and marks that subtree deleted.
    bool DeleteChild(std::string_view name);

    // Same names, values and subkeys, in the same order (names compared exactly).
    bool SameTree(const CRegNode& other) const;

private:
    void MarkSubtreeDeleted();

    std::string name_;
    bool deleted_ = false;
    std::vector<SRegValue> values_;
    std::unordered_map<std::string, size_t> valueIndex_;  // folded name -> position
    std::vector<HKEY> children_;
    std::unordered_map<std::string, HKEY> childIndex_;  // folded name -> child
};

// ASCII case folding, the comparison of key and value names.
std::string FoldName(std::string_view name);

// The lock of every settings tree of the process.
std::recursive_mutex& RegLock();

}  // namespace plover
