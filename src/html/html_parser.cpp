#include "html/html_parser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>

#include "html/html_entities.h"

namespace plover {
namespace {

bool IsAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Characters that end a run of plain characters in a given situation: a zero byte, line breaks,
// and the characters that the situation treats specially.
struct SStopTable {
    std::array<bool, 256> stop{};
    explicit SStopTable(std::string_view special) {
        for (char c : std::string_view("\0\r\n\"", 4)) stop[uint8_t(c)] = true;
        for (char c : special) stop[uint8_t(c)] = true;
    }
};
const SStopTable kStartTagStops(" ><'");
const SStopTable kEndTagStops("><");
const SStopTable kContentStops("<");
const SStopTable kOutsideStops("<");
const SStopTable kQuoteStops("");
const SStopTable kSingleQuoteStops("'");

bool EqualsNoCase(std::string_view lower, std::string_view text) {
    if (lower.size() != text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (lower[i] != LowerAscii(text[i])) return false;
    return true;
}

}  // namespace

CHTMLParser::CPending::EMatch CHTMLParser::CPending::Match() const {
    std::string_view head(head_, length_ < 4 ? size_t(length_) : 4);
    if (length_ == 4 && head == "<!--") return EMatch::CommentOpen;
    if (length_ == 3 && head == "-->") return EMatch::CommentClose;
    if (length_ == 2 && head == "</") return EMatch::EndTagOpen;
    if (length_ <= 3 && std::string_view("<!-").substr(0, head.size()) == head) return EMatch::Prefix;
    if (length_ == 2 && head[0] == '<' && IsAlnum(head[1])) return EMatch::StartTag;
    if (length_ == 3 && head[0] == '<' && head[1] == '!' && IsAlnum(head[2])) return EMatch::StartTag;
    return EMatch::None;
}

CHTMLParser::CHTMLParser() : current_(&root_) {
    InternKnownNames();
    open_.push_back({&root_, nullptr, nullptr});
}

void CHTMLParser::InternKnownNames() {
    for (const char* n : {"a", "img", "meta", "doctype", "title", "comment"}) names_.emplace(n);
    nameA_ = &*names_.find("a");
    nameImg_ = &*names_.find("img");
    nameMeta_ = &*names_.find("meta");
    nameDoctype_ = &*names_.find("doctype");
    nameTitle_ = &*names_.find("title");
    nameComment_ = &*names_.find("comment");
}

void CHTMLParser::Clear() {
    std::destroy_at(&root_);
    std::construct_at(&root_);
    nodes_.Clear();
    arena_.Clear();
    // The names of every page seen are kept for the next, unless made-up names pile up.
    if (names_.size() > kKeptNames) {
        names_.clear();
        InternKnownNames();
    }
    title_.clear();
    refreshUrl_.clear();
    token_.clear();
    decoded_.clear();
    endName_.clear();
    pending_.Clear();
    quote_ = 0;
    open_.assign(1, {&root_, nullptr, nullptr});
    states_.clear();
    current_ = &root_;
    counter_ = 0;
    textNode_ = nullptr;
    textLength_ = 0;
}

void CHTMLParser::ParseBuffer(const char* data, size_t length) {
    const char* p = data;
    const char* end = data + length;
    while (p < end && *p != '\0') {
        const char* next = TakeRun(p, end);
        if (next != p) {
            p = next;
            continue;
        }
        Feed(*p++);
    }
    FlushText();  // callers may look at the tree between two calls
}

// Takes a run of characters that the current situation only collects (or drops) in one step;
// returns where the run ends (p itself when the next character needs the full machine).
const char* CHTMLParser::TakeRun(const char* p, const char* end) {
    const SStopTable* table = nullptr;
    bool collect = true;
    if (quote_) {
        table = quote_ == '\'' ? &kSingleQuoteStops : &kQuoteStops;
    } else if (pending_.Empty()) {
        switch (State()) {
            case 0: table = &kStartTagStops; break;
            case 1: table = &kEndTagStops; break;
            case 2: table = &kContentStops; break;
            case 3: table = &kOutsideStops; collect = false; break;
            default: return p;
        }
    } else {
        return p;
    }
    const char* q = p;
    while (q < end && !table->stop[uint8_t(*q)]) ++q;
    if (collect) token_.append(p, size_t(q - p));
    counter_ += uint64_t(q - p);
    return q;
}

void CHTMLParser::Feed(char c) {
    ++counter_;
    if (c == '\r' || c == '\n') {
        pending_.Clear();
        return;
    }
    if (quote_) {
        token_ += c;
        if (c == quote_) quote_ = 0;
        return;
    }
    if (!pending_.Empty()) {
        pending_.Append(c);
        switch (pending_.Match()) {
            case CPending::EMatch::CommentOpen: BeginElement(4, c); return;
            case CPending::EMatch::CommentClose: EndElement(nameComment_); return;
            case CPending::EMatch::EndTagOpen:
                if (current_->name_ == nameTitle_) title_ = html::DecodeReferences(token_, html::ERefContext::Text);
                PushState(1);
                return;
            case CPending::EMatch::Prefix: return;
            case CPending::EMatch::StartTag: BeginElement(0, c); return;
            case CPending::EMatch::None: break;
        }
    }
    int state = State();
    // A single quote opens a value in a tag only: in text it is far more often an apostrophe.
    bool opensValue = (c == '"' && state != 4) || (c == '\'' && state == 0);
    if (opensValue && !token_.empty() && token_.back() == '=') {
        quote_ = c;
        token_ += c;
        return;
    }
    FeedState(c, state);
}

void CHTMLParser::FeedState(char c, int state) {
    switch (state) {
        case 0:  // start tag
            if (c == ' ') {
                EndToken();
            } else if (c == '>') {
                EndToken();
                if (TopIs(nameMeta_) || TopIs(nameDoctype_))
                    EndElement(nullptr);
                else
                    PushState(2);
            } else if (c == '<') {
                pending_.Append(c);
            } else {
                token_ += c;
            }
            break;
        case 1:  // end tag
            if (c == '>') {
                endName_.swap(token_);
                ClearToken();
                EndElement(&endName_);
            } else if (c == '<') {
                pending_.Append(c);
            } else {
                token_ += c;
            }
            break;
        case 2:  // content
            if (c == '<') {
                pending_.Append(c);
                if (!token_.empty()) SetTextOfTop();
            } else {
                token_ += c;
            }
            break;
        case 3:  // outside all elements
            if (c == '<') pending_.Append(c);
            break;
        default:  // 4, comment: only "-->" after white space matters
            if (IsWhite(c))
                pending_.Clear();
            else if (pending_.Empty())
                pending_.Append(c);
            break;
    }
}

void CHTMLParser::PushState(int state) {
    states_.push_back(uint8_t(state));
    ClearToken();
    pending_.Clear();
}

void CHTMLParser::BeginElement(int state, char c) {
    CHTMLNode* node = nodes_.New();
    node->position_ = counter_ - 1;
    SOpen& parent = open_.back();
    node->parent_ = parent.node;
    node->prev_ = parent.lastChild;
    if (parent.lastChild)
        parent.lastChild->next_ = node;
    else
        parent.node->firstChild_ = node;
    parent.lastChild = node;
    ++parent.node->childCount_;
    open_.push_back({node, nullptr, nullptr});
    current_ = node;
    PushState(state);
    token_ = c;
    if (state == 4) node->name_ = nameComment_;
}

// Ends the element on top; with a name, first ends every element above the nearest open one of
// that name (all of them when none has it).
void CHTMLParser::EndElement(const std::string* name) {
    if (states_.empty()) return;
    if (name) {
        while (open_.size() > 1 && !EqualsNoCase(open_.back().node->GetName(), *name) && !states_.empty())
            EndElement(nullptr);
        if (states_.empty()) return;
    }
    if (open_.size() > 1) open_.pop_back();  // the root itself always stays open
    current_ = open_.back().node;
    states_.pop_back();
    ClearToken();
    pending_.Clear();
}

// Gives the token to the element on top: the first names it, later ones are its attributes.
// The root stays unnamed: a token left over for it is dropped.
void CHTMLParser::EndToken() {
    if (token_.empty()) return;
    SOpen& top = open_.back();
    if (top.node != &root_) {
        if (!top.node->name_) {
            top.node->name_ = Intern(token_);
        } else {
            const char* record = html::StoreAttribute(arena_, Decoded(token_, html::ERefContext::Attribute));
            if (top.lastAttribute)
                html::SetNextAttribute(top.lastAttribute, record);
            else
                top.node->attributes_ = record;
            top.lastAttribute = record;
        }
    }
    ClearToken();
}

void CHTMLParser::ClearToken() {
    FlushText();
    token_.clear();
}

void CHTMLParser::SetTextOfTop() {
    CHTMLNode* top = open_.back().node;
    if (textNode_ && textNode_ != top) FlushText();
    textNode_ = top;
    textLength_ = token_.size();
}

void CHTMLParser::FlushText() {
    if (!textNode_) return;
    std::string_view text = std::string_view(token_).substr(0, textLength_);
    textNode_->text_ = html::StoreText(arena_, Decoded(text, html::ERefContext::Text));
    textNode_ = nullptr;
}

std::string_view CHTMLParser::Decoded(std::string_view text, html::ERefContext context) {
    if (text.find('&') == std::string_view::npos) return text;
    decoded_.clear();
    html::AppendDecoded(text, context, decoded_);
    return decoded_;
}

const std::string* CHTMLParser::Intern(std::string& name) {
    for (char& c : name) c = LowerAscii(c);
    return &*names_.insert(name).first;
}

void CHTMLParser::FindRefreshURL() {
    refreshUrl_.clear();
    for (size_t i = 0; i < nodes_.Size(); ++i) {
        const CHTMLNode* node = nodes_.At(i);
        if (node->name_ != nameMeta_ || !EqualsNoCase("refresh", node->GetAttribute("HTTP-EQUIV"))) continue;
        std::string_view content = node->GetAttribute("content");
        std::string lower(content);
        for (char& c : lower) c = LowerAscii(c);
        size_t url = lower.find("url");
        if (url == std::string::npos) continue;
        for (size_t k = url + 3; k < content.size(); ++k) {
            if (IsAlnum(content[k])) {
                refreshUrl_.assign(content.substr(k));
                break;
            }
        }
    }
}

void CHTMLParser::CollectNamed(const std::string* name, std::vector<CHTMLNode*>& out) const {
    for (size_t i = 0; i < nodes_.Size(); ++i)
        if (nodes_.At(i)->name_ == name) out.push_back(nodes_.At(i));
}

void CHTMLParser::CollectAnchors(std::vector<CHTMLNode*>& out) const { CollectNamed(nameA_, out); }

void CHTMLParser::CollectImages(std::vector<CHTMLNode*>& out) const { CollectNamed(nameImg_, out); }

bool CHTMLParser::ParseFile(const std::string& path) {
    return ParseFile(path, UINT64_MAX) != EFileRead::CannotOpen;
}

CHTMLParser::EFileRead CHTMLParser::ParseFile(const std::string& path, uint64_t maxBytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return EFileRead::CannotOpen;
    // Read whole in one go: the size from the open file, no seeks (a scan reads thousands).
    struct stat st {};
    bool whole = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    off_t size = whole ? st.st_size : 0;
    if (whole && uint64_t(size) > maxBytes) {
        ::close(fd);
        return EFileRead::TooLarge;
    }
    std::unique_ptr<char[]> content;
    if (whole) {
        content = std::make_unique_for_overwrite<char[]>(size_t(size));
        size_t done = 0;
        while (done < size_t(size)) {
            ssize_t n = ::read(fd, content.get() + done, size_t(size) - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += size_t(n);
        }
        whole = done == size_t(size);
    }
    ::close(fd);
    if (whole) ParseBuffer(content.get(), size_t(size));
    return EFileRead::Parsed;
}

size_t CHTMLParser::GetMemoryUse() const {
    return nodes_.Size() * sizeof(CHTMLNode) + arena_.BytesReserved() + open_.capacity() * sizeof(SOpen) +
           states_.capacity() + token_.capacity();
}

}  // namespace plover
