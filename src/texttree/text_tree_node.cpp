#include "texttree/text_tree_node.h"

#include "texttree/text_tree_codec.h"

namespace plover {

CTextTreeNode::CTextTreeNode(bool group, std::string name, std::string value)
    : group_(group), name_(std::move(name)), value_(std::move(value)) {}

std::unique_ptr<CTextTreeNode> CTextTreeNode::MakeGroup(std::string name) {
    return std::unique_ptr<CTextTreeNode>(new CTextTreeNode(true, std::move(name), {}));
}

std::unique_ptr<CTextTreeNode> CTextTreeNode::MakeValue(std::string name, std::string value) {
    return std::unique_ptr<CTextTreeNode>(new CTextTreeNode(false, std::move(name), std::move(value)));
}

CTextTreeNode::~CTextTreeNode() {
    // Every descendant is moved onto one list before it dies, so no destructor below this one
    // ever has children of its own to destroy: the depth of the tree never reaches the stack.
    std::vector<std::unique_ptr<CTextTreeNode>> doomed = std::move(children_);
    while (!doomed.empty()) {
        std::unique_ptr<CTextTreeNode> node = std::move(doomed.back());
        doomed.pop_back();
        for (auto& child : node->children_) doomed.push_back(std::move(child));
        node->children_.clear();
    }
}

CTextTreeNode* CTextTreeNode::GetChild(size_t index) const {
    return index < children_.size() ? children_[index].get() : nullptr;
}

CTextTreeNode* CTextTreeNode::FindChild(std::string_view name) const {
    for (const auto& child : children_)
        if (child->name_ == name) return child.get();
    return nullptr;
}

CTextTreeNode* CTextTreeNode::FindGroup(std::string_view name) const {
    for (const auto& child : children_)
        if (child->group_ && child->name_ == name) return child.get();
    return nullptr;
}

bool CTextTreeNode::ReadNumber(std::string_view name, uint32_t& out) const {
    const CTextTreeNode* node = FindChild(name);
    return node && !node->group_ && ParseTreeNumber(node->value_, out);
}

bool CTextTreeNode::ReadString(std::string_view name, std::string& out, bool decode) const {
    const CTextTreeNode* node = FindChild(name);
    if (!node || node->group_) return false;
    if (decode) return DecodeTreeString(node->value_, out);
    out = node->value_;
    return true;
}

CTextTreeNode* CTextTreeNode::AddValue(std::string name, std::string value) {
    return Adopt(MakeValue(std::move(name), std::move(value)));
}

CTextTreeNode* CTextTreeNode::AddGroup(std::string name) { return Adopt(MakeGroup(std::move(name))); }

CTextTreeNode* CTextTreeNode::Adopt(std::unique_ptr<CTextTreeNode> child) {
    child->parent_ = this;
    children_.push_back(std::move(child));
    return children_.back().get();
}

}  // namespace plover
