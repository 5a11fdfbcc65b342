#include "html/html_node.h"

#include "html/html_storage.h"
#include "html/url_resolve.h"

namespace plover {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    return true;
}

}  // namespace

CHTMLNode* CHTMLNode::GetChild(size_t index) const {
    if (index >= childCount_) return nullptr;
    CHTMLNode* child = firstChild_;
    while (index-- > 0) child = child->next_;
    return child;
}

std::string_view CHTMLNode::GetName() const { return name_ ? std::string_view(*name_) : std::string_view(); }

std::string_view CHTMLNode::GetText() const { return html::LoadText(text_); }

std::vector<std::string_view> CHTMLNode::GetAttributes() const {
    std::vector<std::string_view> out;
    for (const char* a = attributes_; a; a = html::NextAttribute(a)) out.push_back(html::AttributeText(a));
    return out;
}

std::string_view CHTMLNode::GetAttribute(std::string_view name) const {
    for (const char* a = attributes_; a; a = html::NextAttribute(a)) {
        std::string_view attribute = html::AttributeText(a);
        if (!StartsWithNoCase(attribute, name)) continue;
        size_t equals = attribute.find('=', name.size());
        if (equals == std::string_view::npos) return {};
        std::string_view value = attribute.substr(equals + 1);
        if (value.size() >= 3 && (value[0] == '"' || value[0] == '\'')) value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

const std::string& CHTMLNode::GetHref() {
    if (!link_) link_ = std::make_unique<std::string>();
    if (link_->empty()) link_->assign(GetAttribute("href"));
    return *link_;
}

const std::string& CHTMLNode::ResolveHref(std::string_view baseUrl) {
    std::string resolved = ResolveUrl(GetHref(), baseUrl);
    *link_ = std::move(resolved);
    return *link_;
}

bool CHTMLNode::IsAnchor() const { return GetName() == "a"; }

bool CHTMLNode::IsImage() const { return GetName() == "img"; }

bool CHTMLNode::IsImageLink() const { return firstChild_ && firstChild_->IsImage(); }

}  // namespace plover
