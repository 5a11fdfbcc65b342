#pragma once
// One node of a text tree: a value node (a name and a text value) or a group node (a name and an
// ordered list of child nodes, which it owns). Names are case-sensitive; a group may hold several
// children of the same name, and a lookup by name finds the first.
//
// Trees read from a file can be arbitrarily deep, so nothing here recurses over the depth: the
// destructor takes the subtree apart with an explicit list.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

class CTextTreeNode {
public:
    static std::unique_ptr<CTextTreeNode> MakeGroup(std::string name);
    static std::unique_ptr<CTextTreeNode> MakeValue(std::string name, std::string value);
    ~CTextTreeNode();
    CTextTreeNode(const CTextTreeNode&) = delete;
    CTextTreeNode& operator=(const CTextTreeNode&) = delete;

    bool IsGroup() const { return group_; }
    const std::string& GetName() const { return name_; }
    const std::string& GetValue() const { return value_; }  // empty for a group
    CTextTreeNode* GetParent() const { return parent_; }
    size_t GetChildCount() const { return children_.size(); }
    CTextTreeNode* GetChild(size_t index) const;  // null when out of range

    // The first child with exactly this name (value or group), or null.
    CTextTreeNode* FindChild(std::string_view name) const;
    // The first child group with exactly this name, or null.
    CTextTreeNode* FindGroup(std::string_view name) const;

    // The value of FindChild(name) as a number (decimal digits only) or as a string, decoded from
    // the "X" form when asked. False, with out unchanged, when the child is missing, is a group,
    // or its text is malformed: the caller keeps its default.
    bool ReadNumber(std::string_view name, uint32_t& out) const;
    bool ReadString(std::string_view name, std::string& out, bool decode = false) const;

    // Appends a child (this node must be a group) and returns it.
    CTextTreeNode* AddValue(std::string name, std::string value);
    CTextTreeNode* AddGroup(std::string name);

private:
    CTextTreeNode(bool group, std::string name, std::string value);
    CTextTreeNode* Adopt(std::unique_ptr<CTextTreeNode> child);

    bool group_;
    std::string name_;
    std::string value_;
    CTextTreeNode* parent_ = nullptr;
    std::vector<std::unique_ptr<CTextTreeNode>> children_;
};

}  // namespace plover
