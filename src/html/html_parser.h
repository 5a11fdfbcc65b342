#pragma once
// A small, forgiving HTML reader: it turns the bytes of a page into a tree of element nodes,
// keeps every node in the order it began, and remembers the page title and the target of a meta
// refresh. It never fails; any byte sequence gives some tree.
//
// It is a character-driven state machine, not a conforming HTML parser. Each character goes
// through, in order: line breaks (dropped; they also forget any markup begun on the line), the
// inside of a quoted value (a double quote after "=" opens one anywhere but in a comment, a
// single quote after "=" only inside a start tag; the same quote closes it), the pending markup
// buffer (what followed a "<" while it is not yet known what it starts: "<!--" a comment, "</"
// an end tag, "<" or "<!" and a letter or digit a start tag, "-->" the end of a comment), then
// the current scanner state:
//
//   0 start tag   spaces end a token (the first names the element, later ones are attributes);
//                 ">" ends the tag and enters content (meta and doctype elements close at once)
//   1 end tag     ">" closes the named element and everything opened after it
//   2 content     collects text; a "<" gives the text so far to the element on top
//   3 outside     everything but "<" is dropped
//   4 comment     runs of non-space characters go to the pending buffer, to find "-->"
//
// States are kept on a stack (empty means 3), elements on a stack of open elements above the
// root. An end tag that matches no open element closes them all; elements that are never closed
// (img, br, p) keep what follows as children. Character references in attribute strings, texts
// and the title are decoded when they are stored (html_entities.h). A stray "<" that begins no
// markup makes the rest of its line plain text.
//
// Work per character is constant apart from copying strings, and runs of ordinary characters are
// taken in one step. Nothing recurses over the depth of the tree.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "html/html_entities.h"
#include "html/html_node.h"
#include "html/html_storage.h"

namespace plover {

class CHTMLParser {
public:
    CHTMLParser();
    CHTMLParser(const CHTMLParser&) = delete;
    CHTMLParser& operator=(const CHTMLParser&) = delete;

    // Forgets the page: the parser is as new, but keeps some of its storage for the next one (a
    // scan parses thousands of small pages). Every node of the page is gone.
    void Clear();

    // Feeds the characters to the state machine, up to length or the first zero byte. May be
    // called again with more input; the state carries over.
    void ParseBuffer(const char* data, size_t length);
    // Reads the whole file and feeds it. False only when it cannot be opened; a read error parses
    // nothing and still gives true.
    bool ParseFile(const std::string& path);
    // The same, for a file of at most maxBytes: a larger one is not read at all (its size is
    // taken from the open file, so a caller needs no look at the file of its own).
    enum class EFileRead { Parsed, CannotOpen, TooLarge };
    EFileRead ParseFile(const std::string& path, uint64_t maxBytes);

    const std::string& GetTitle() const { return title_; }
    // Looks for <meta http-equiv="refresh" content="...url=X">, the last one in document order
    // wins; GetRefreshURL then gives X as written (empty when there is none).
    void FindRefreshURL();
    const std::string& GetRefreshURL() const { return refreshUrl_; }

    // Append every "a", respectively "img", node in document order.
    void CollectAnchors(std::vector<CHTMLNode*>& out) const;
    void CollectImages(std::vector<CHTMLNode*>& out) const;

    // The unnamed root, parent of the top-level elements.
    CHTMLNode& GetRoot() { return root_; }
    // Every element node in the order it began.
    size_t GetNodeCount() const { return nodes_.Size(); }
    CHTMLNode* GetNode(size_t index) const { return index < nodes_.Size() ? nodes_.At(index) : nullptr; }
    // Bytes held for nodes and strings (for measurements).
    size_t GetMemoryUse() const;

private:
    // The pending markup buffer: only its first four characters and its length ever matter.
    class CPending {
    public:
        enum class EMatch { None, CommentOpen, CommentClose, EndTagOpen, Prefix, StartTag };
        bool Empty() const { return length_ == 0; }
        void Clear() { length_ = 0; }
        void Append(char c) {
            if (length_ < sizeof head_) head_[length_] = c;
            ++length_;
        }
        EMatch Match() const;

    private:
        uint64_t length_ = 0;
        char head_[4] = {};
    };
    struct SOpen {
        CHTMLNode* node;
        CHTMLNode* lastChild;
        const char* lastAttribute;
    };

    static constexpr size_t kKeptNames = 1024;

    void InternKnownNames();
    void Feed(char c);
    void FeedState(char c, int state);
    const char* TakeRun(const char* p, const char* end);
    int State() const { return states_.empty() ? 3 : states_.back(); }
    void PushState(int state);
    void BeginElement(int state, char c);
    void EndElement(const std::string* name);
    void EndToken();
    void ClearToken();
    void SetTextOfTop();
    void FlushText();
    const std::string* Intern(std::string& name);
    // The text with its character references decoded (a view of decoded_ when it had any).
    std::string_view Decoded(std::string_view text, html::ERefContext context);
    bool TopIs(const std::string* name) const { return open_.back().node->name_ == name; }
    void CollectNamed(const std::string* name, std::vector<CHTMLNode*>& out) const;

    CHTMLNode root_;
    html::CChunkedPool<CHTMLNode> nodes_;  // every element, in the order it began
    html::CByteArena arena_;               // attribute and text records
    std::unordered_set<std::string> names_;
    const std::string* nameA_;
    const std::string* nameImg_;
    const std::string* nameMeta_;
    const std::string* nameDoctype_;
    const std::string* nameTitle_;
    const std::string* nameComment_;

    std::string title_;
    std::string refreshUrl_;
    std::string token_;
    std::string decoded_;  // scratch for Decoded
    std::string endName_;  // the name of the end tag being closed
    CPending pending_;
    char quote_ = 0;  // the quote that opened the value being read, 0 outside values
    std::vector<SOpen> open_;      // bottom is always the root
    std::vector<uint8_t> states_;  // scanner states 0 to 4
    CHTMLNode* current_;           // most recently begun, or the top after a close
    uint64_t counter_ = 0;         // characters seen, line breaks included
    // The content text given to an element is a prefix of the token, which only grows until it
    // is cleared; it is copied into the arena once, when the token is cleared or the input ends.
    CHTMLNode* textNode_ = nullptr;
    size_t textLength_ = 0;
};

}  // namespace plover
