#include "app/reg_node.h"

#include <algorithm>
#include <cctype>

namespace plover {

std::string FoldName(std::string_view name) {
    std::string s(name);
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::recursive_mutex& RegLock() {
    static std::recursive_mutex lock;
    return lock;
}

CRegNode::~CRegNode() {
    // Releases the subtree without deep recursion: children are moved out level by level.
    childIndex_.clear();
    std::vector<HKEY> pending = std::move(children_);
    while (!pending.empty()) {
        HKEY n = std::move(pending.back());
        pending.pop_back();
        // A node that an open handle still holds keeps its subtree; the others are taken apart
        // here (each parent clears its index first, so the list holds the last reference).
        if (n && n.use_count() == 1) {
            n->childIndex_.clear();
            for (auto& c : n->children_) pending.push_back(std::move(c));
            n->children_.clear();
        }
    }
}

const SRegValue* CRegNode::FindValue(std::string_view name) const {
    auto it = valueIndex_.find(FoldName(name));
    return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

void CRegNode::SetValue(SRegValue v) {
    std::string key = FoldName(v.name);
    auto it = valueIndex_.find(key);
    if (it != valueIndex_.end()) {
        v.name = values_[it->second].name;
        values_[it->second] = std::move(v);
        return;
    }
    valueIndex_.emplace(std::move(key), values_.size());
    values_.push_back(std::move(v));
}

bool CRegNode::DeleteValue(std::string_view name) {
    auto it = valueIndex_.find(FoldName(name));
    if (it == valueIndex_.end()) return false;
    size_t pos = it->second;
    valueIndex_.erase(it);
    values_.erase(values_.begin() + ptrdiff_t(pos));
    for (auto& [k, i] : valueIndex_)
        if (i > pos) --i;
    return true;
}

HKEY CRegNode::FindChild(std::string_view name) const {
    auto it = childIndex_.find(FoldName(name));
    return it == childIndex_.end() ? nullptr : it->second;
}

HKEY CRegNode::CreateChild(std::string_view name) {
    if (name.empty()) return nullptr;
    if (HKEY existing = FindChild(name)) return existing;
    auto child = std::make_shared<CRegNode>(std::string(name));
    childIndex_.emplace(FoldName(name), child);
    children_.push_back(child);
    return child;
}

bool CRegNode::DeleteChild(std::string_view name) {
    auto it = childIndex_.find(FoldName(name));
    if (it == childIndex_.end()) return false;
    HKEY removed = std::move(it->second);
    childIndex_.erase(it);
    children_.erase(std::find(children_.begin(), children_.end(), removed));
    removed->MarkSubtreeDeleted();
    return true;
}

bool CRegNode::SameTree(const CRegNode& other) const {
    std::vector<std::pair<const CRegNode*, const CRegNode*>> stack{{this, &other}};
    while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        if (a->name_ != b->name_ || a->values_ != b->values_ || a->children_.size() != b->children_.size())
            return false;
        for (size_t i = 0; i < a->children_.size(); ++i)
            stack.emplace_back(a->children_[i].get(), b->children_[i].get());
    }
    return true;
}

// Without recursion: a hostile file can make deep trees.
void CRegNode::MarkSubtreeDeleted() {
    std::vector<CRegNode*> stack{this};
    while (!stack.empty()) {
        CRegNode* n = stack.back();
        stack.pop_back();
        n->deleted_ = true;
        for (const auto& c : n->children_) stack.push_back(c.get());
    }
}

}  // namespace plover
