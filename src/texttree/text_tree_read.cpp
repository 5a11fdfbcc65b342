// The reader of the text tree's file form: one pass over the text with a small state machine.
//
//   between nodes: a name character starts a name; "{" opens a group named with the last name
//                  read ("FL" opens none: its braces are transparent); "}" closes the current
//                  group (the root's closing brace ends the read); "|" after a name starts a
//                  value; every other character is skipped.
//   name:          name characters extend it; any other character ends it and becomes the last
//                  name; a ":" is consumed, anything else is looked at again between nodes.
//   value:         everything up to the next "|" is the value; that "|" adds the value node.
//
// Open braces are kept on an explicit stack, so the depth of a file never reaches the call stack.
#include <cstring>
#include <vector>

#include "texttree/text_tree.h"

namespace plover {
namespace {

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

class CTextTreeReader {
public:
    CTextTreeReader(CTextTreeNode& root, ITextTreeProgress* progress) : current_(&root), progress_(progress) {}

    // True when the read ended at the closing brace of the outermost group, or at the end of a
    // text that left no group or value open: the file was whole.
    bool Closed() const { return closed_; }

    bool Run(std::string_view text) {
        for (size_t i = 0; i < text.size(); ++i) {
            Step(i);
            char c = text[i];
            if (state_ == EState::Value) {
                i = EndOfValue(text, i);
                if (i == text.size()) break;  // no closing "|": the value is dropped
                current_->AddValue(std::string(lastName_), std::string(text.substr(start_, i - start_)));
                state_ = EState::Between;
                continue;
            }
            if (state_ == EState::Name) {
                if (IsNameChar(c)) continue;
                lastName_ = text.substr(start_, i - start_);
                state_ = EState::Between;
                if (c == ':') continue;
            }
            switch (Between(c, i)) {
                case EResult::Go: break;
                case EResult::Done: closed_ = true; return true;
                case EResult::Fail: return false;
            }
        }
        // The text ended: whole only when no group and no value was left open.
        closed_ = braces_.empty() && state_ != EState::Value;
        return true;
    }

private:
    enum class EState { Between, Name, Value };
    enum class EResult { Go, Done, Fail };

    EResult Between(char c, size_t i) {
        if (IsNameChar(c)) {
            state_ = EState::Name;
            start_ = i;
        } else if (c == '{') {
            if (lastName_.empty()) return EResult::Fail;
            bool transparent = lastName_ == kTextTreeRootName;
            if (!transparent) current_ = current_->AddGroup(std::string(lastName_));
            braces_.push_back(transparent);
        } else if (c == '}') {
            if (braces_.empty()) return EResult::Done;
            bool transparent = braces_.back();
            braces_.pop_back();
            if (!transparent)
                current_ = current_->GetParent();
            else if (braces_.empty())
                return EResult::Done;  // the root's own closing brace
        } else if (c == '|' && !lastName_.empty()) {
            state_ = EState::Value;
            start_ = i + 1;
        }
        return EResult::Go;
    }

    // The index of the "|" that ends the value at i, or text.size(); progress is told of every
    // character passed over, that "|" included.
    size_t EndOfValue(std::string_view text, size_t i) {
        const void* bar = std::memchr(text.data() + i, '|', text.size() - i);
        size_t end = bar ? size_t(static_cast<const char*>(bar) - text.data()) : text.size();
        if (progress_)
            for (size_t k = i + 1; k <= end && k < text.size(); ++k) Step(k);
        return end;
    }

    void Step(size_t i) {
        if (progress_) progress_->Step(uint32_t(i));
    }

    CTextTreeNode* current_;
    ITextTreeProgress* progress_;
    EState state_ = EState::Between;
    std::string_view lastName_;
    size_t start_ = 0;
    std::vector<bool> braces_;  // per open brace: true when it belongs to an "FL" (transparent)
    bool closed_ = false;
};

}  // namespace

bool CTextTree::Parse(std::string_view text, ITextTreeProgress* progress) {
    Clear();
    if (text.size() < kTextTreeProgressMinBytes) progress = nullptr;
    if (progress) progress->Begin(kTextTreeLoadingText, uint32_t(text.size()));
    CTextTreeReader reader(*root_, progress);
    bool ok = reader.Run(text);
    if (progress) progress->End();
    if (!ok) Clear();
    complete_ = ok && reader.Closed();
    return ok;
}

}  // namespace plover
