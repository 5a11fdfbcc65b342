#pragma once
// A text tree: a small, human-readable file of named values and named groups, one per line,
// indented by depth with tabs, every line ending in "\r\n". The download list is stored this way.
//
//     FL
//     {
//     	DNL_LIST
//     	{
//     		DNL
//     		{
//     			URL_original : |http://host/a.jpg|
//     			Prior : |5|
//     		}
//     	}
//     }
//
// CTextTree holds the whole tree in memory (root: the group "FL") and a cursor, the current
// group. Writers append values and groups at the cursor (OpenGroup descends into the new group,
// CloseGroup returns to its parent); readers look values up in the current group and move the
// cursor down with EnterGroup and back up with LeaveGroup. Save writes the file in one piece and
// replaces the old one atomically; Load reads and parses it in one pass.
//
// Reading is forgiving: characters outside names, values and braces are skipped, a group named
// "FL" below the root is read as if its braces were absent (its children join the enclosing
// group), and a file that ends inside a group keeps what was read (IsComplete tells). Only an
// unreadable file and "{" before any name make a load fail.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "texttree/text_tree_codec.h"
#include "texttree/text_tree_node.h"

namespace plover {

// Told about the parse of a large file (kTextTreeProgressMinBytes or more): Begin with the size
// before the scan, Step once per character, End when the scan is over (also when it failed).
class ITextTreeProgress {
public:
    virtual void Begin(const char* text, uint32_t total) = 0;
    virtual void Step(uint32_t position) = 0;
    virtual void End() = 0;

protected:
    ~ITextTreeProgress() = default;
};
constexpr uint32_t kTextTreeProgressMinBytes = 30721;
inline constexpr const char* kTextTreeLoadingText = "Loading file";

inline constexpr const char* kTextTreeRootName = "FL";

class CTextTree {
public:
    CTextTree();  // an empty root; the cursor at the root
    CTextTree(const CTextTree&) = delete;
    CTextTree& operator=(const CTextTree&) = delete;

    CTextTreeNode& GetRoot() { return *root_; }
    const CTextTreeNode& GetRoot() const { return *root_; }
    CTextTreeNode& GetCurrent() { return *current_; }
    const CTextTreeNode& GetCurrent() const { return *current_; }

    // Writing at the cursor. Each refuses (false, nothing written) a name that is not letters,
    // digits and "_"; WriteString also refuses a value that cannot be stored (holds "|" or a zero
    // byte) unless it is encoded. OpenGroup refuses "FL", which would read back as no group; when
    // it refuses, the cursor stays where it was (so do not CloseGroup for it).
    bool WriteNumber(std::string_view name, uint32_t value);
    bool WriteString(std::string_view name, std::string_view value, bool encode = false);
    bool OpenGroup(std::string_view name);
    void CloseGroup();  // to the parent; nothing at the root

    // Reading in the current group (see CTextTreeNode::ReadNumber / ReadString).
    bool ReadNumber(std::string_view name, uint32_t& out) const;
    bool ReadString(std::string_view name, std::string& out, bool decode = false) const;
    // Down to the first child group of that name (false, cursor unchanged, when there is none),
    // or to a given child group of the current group; LeaveGroup goes back up (nothing at the root).
    bool EnterGroup(std::string_view name);
    bool EnterGroup(CTextTreeNode& childGroup);
    void LeaveGroup();

    // The whole tree in its file form.
    std::string Serialize() const;
    // Replaces the tree by the one read from text (the cursor goes to the root). On failure the
    // tree is left empty.
    bool Parse(std::string_view text, ITextTreeProgress* progress = nullptr);

    // Writes the file form to a temporary file beside path, flushes it and renames it over path,
    // so a crash or a full disk never leaves a half-written file. The file is readable by its
    // owner only (0600): a tree may hold logins. False when it cannot be written.
    bool Save(const std::string& path) const;
    // Reads the whole file and parses it; false when it cannot be opened or read, or does not parse.
    bool Load(const std::string& path, ITextTreeProgress* progress = nullptr);
    // Whether the last Parse or Load read a whole tree: it ended at the closing brace of the
    // outermost group, or left no group or value open. A file cut short (inside a group or a
    // value) still parses, forgivingly, but is not complete.
    bool IsComplete() const { return complete_; }

private:
    void Clear();

    std::unique_ptr<CTextTreeNode> root_;
    CTextTreeNode* current_;
    bool complete_ = false;
};

}  // namespace plover
