#include "texttree/text_tree.h"

#include <utility>
#include <vector>

namespace plover {

CTextTree::CTextTree() { Clear(); }

void CTextTree::Clear() {
    root_ = CTextTreeNode::MakeGroup(kTextTreeRootName);
    current_ = root_.get();
}

bool CTextTree::WriteNumber(std::string_view name, uint32_t value) {
    if (!IsTreeName(name)) return false;
    current_->AddValue(std::string(name), FormatTreeNumber(value));
    return true;
}

bool CTextTree::WriteString(std::string_view name, std::string_view value, bool encode) {
    if (!IsTreeName(name)) return false;
    if (encode) {
        current_->AddValue(std::string(name), EncodeTreeString(value));
        return true;
    }
    if (!IsStorableTreeValue(value)) return false;
    current_->AddValue(std::string(name), std::string(value));
    return true;
}

bool CTextTree::OpenGroup(std::string_view name) {
    if (!IsTreeName(name) || name == kTextTreeRootName) return false;
    current_ = current_->AddGroup(std::string(name));
    return true;
}

void CTextTree::CloseGroup() { LeaveGroup(); }

bool CTextTree::ReadNumber(std::string_view name, uint32_t& out) const {
    return current_->ReadNumber(name, out);
}

bool CTextTree::ReadString(std::string_view name, std::string& out, bool decode) const {
    return current_->ReadString(name, out, decode);
}

bool CTextTree::EnterGroup(std::string_view name) {
    CTextTreeNode* group = current_->FindGroup(name);
    if (!group) return false;
    current_ = group;
    return true;
}

bool CTextTree::EnterGroup(CTextTreeNode& childGroup) {
    if (!childGroup.IsGroup() || childGroup.GetParent() != current_) return false;
    current_ = &childGroup;
    return true;
}

void CTextTree::LeaveGroup() {
    if (current_->GetParent()) current_ = current_->GetParent();
}

std::string CTextTree::Serialize() const {
    std::string out;
    // Depth-first with an explicit stack of (group, next child index): trees read from a file may
    // be deeper than the call stack allows.
    std::vector<std::pair<const CTextTreeNode*, size_t>> stack;
    auto indent = [&out](size_t depth) { out.append(depth, '\t'); };
    out += root_->GetName();
    out += "\r\n{\r\n";
    stack.emplace_back(root_.get(), 0);
    while (!stack.empty()) {
        auto& [group, next] = stack.back();
        size_t depth = stack.size();
        if (next == group->GetChildCount()) {
            stack.pop_back();
            indent(depth - 1);
            out += "}\r\n";
            continue;
        }
        const CTextTreeNode* child = group->GetChild(next++);
        indent(depth);
        out += child->GetName();
        if (child->IsGroup()) {
            out += "\r\n";
            indent(depth);
            out += "{\r\n";
            stack.emplace_back(child, 0);  // invalidates group/next: not used below
        } else {
            out += " : |";
            out += child->GetValue();
            out += "|\r\n";
        }
    }
    return out;
}

}  // namespace plover
