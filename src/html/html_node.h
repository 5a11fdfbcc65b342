#pragma once
// One element of a parsed page. A node has a name (lower-cased; "comment" for a comment), the
// attribute strings as they stood between the name and the end of the tag (quotes kept, not
// split into name and value: `href="x.html"`, `width=100`, `nowrap`; character references
// decoded), the text it holds, its
// children in document order, and the position in the input of the character that began it.
//
// Nodes belong to the CHTMLParser that made them and live exactly as long as it does; the parser
// frees them all at once, whatever the depth of the tree. Child links are a list: GetChild(i)
// walks i steps, so iterate with GetFirstChild / GetNextSibling.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

class CHTMLParser;

class CHTMLNode {
public:
    CHTMLNode() = default;
    CHTMLNode(const CHTMLNode&) = delete;
    CHTMLNode& operator=(const CHTMLNode&) = delete;

    CHTMLNode* GetParent() const { return parent_; }
    CHTMLNode* GetPrevSibling() const { return prev_; }
    CHTMLNode* GetNextSibling() const { return next_; }
    CHTMLNode* GetFirstChild() const { return firstChild_; }
    size_t GetChildCount() const { return childCount_; }
    CHTMLNode* GetChild(size_t index) const;  // null when index is not below the count

    std::string_view GetName() const;
    std::string_view GetText() const;
    std::vector<std::string_view> GetAttributes() const;
    uint64_t GetPosition() const { return position_; }

    // The value of the first attribute string whose first len(name) characters equal name,
    // ignoring case (so "src" also finds srcset=...): the text after the first "=" past those
    // characters, or empty when there is none. A value of 3 or more characters that begins with a
    // double or a single quote loses its first and last characters.
    std::string_view GetAttribute(std::string_view name) const;

    // The link of this node: the href value, filled in on first use; after ResolveHref, its
    // absolute form against the base address.
    const std::string& GetHref();
    const std::string& ResolveHref(std::string_view baseUrl);

    bool IsAnchor() const;     // an "a" element
    bool IsImage() const;      // an "img" element
    bool IsImageLink() const;  // its first child is an "img" element

private:
    friend class CHTMLParser;

    CHTMLNode* parent_ = nullptr;
    CHTMLNode* prev_ = nullptr;
    CHTMLNode* next_ = nullptr;
    CHTMLNode* firstChild_ = nullptr;
    const std::string* name_ = nullptr;  // interned by the parser; null until named
    const char* text_ = nullptr;         // text record in the parser's arena
    const char* attributes_ = nullptr;   // first attribute record in the parser's arena
    std::unique_ptr<std::string> link_;
    uint64_t position_ = 0;
    uint32_t childCount_ = 0;
};

}  // namespace plover
