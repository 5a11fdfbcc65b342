#include "app/reg_key.h"

namespace plover {
namespace {

// Walks (and with create, makes) the keys of a "\"-separated path; empty names are skipped.
HKEY Resolve(const HKEY& parent, const char* path, bool create) {
    std::string_view rest(path);
    HKEY node = parent;
    while (node && !rest.empty()) {
        size_t sep = rest.find('\\');
        std::string_view name = rest.substr(0, sep);
        rest = sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
        if (name.empty()) continue;
        node = create ? node->CreateChild(name) : node->FindChild(name);
    }
    return node == parent ? nullptr : node;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string EncodeRegString(std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "X";
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(~static_cast<unsigned char>(c));
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool DecodeRegString(std::string_view stored, std::string& text) {
    if (stored.empty() || stored[0] != 'X' || stored.size() % 2 == 0) return false;
    std::string out;
    for (size_t i = 1; i < stored.size(); i += 2) {
        int hi = HexDigit(stored[i]), lo = HexDigit(stored[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += char(~(hi * 16 + lo));
    }
    text = std::move(out);
    return true;
}

bool CBRRegKey::OpenForRead(const HKEY& parent, const char* path) {
    if (!parent || !path || !*path) return false;
    std::lock_guard g(RegLock());
    HKEY key = Resolve(parent, path, false);
    if (!key || key->IsDeleted()) return false;
    Close();
    key_ = std::move(key);
    forRead_ = true;
    return true;
}

bool CBRRegKey::OpenForWrite(const HKEY& parent, const char* path) {
    if (!parent || !path || !*path) return false;
    std::lock_guard g(RegLock());
    if (parent->IsDeleted()) return false;
    HKEY key = Resolve(parent, path, true);
    if (!key) return false;
    Close();
    key_ = std::move(key);
    forWrite_ = true;
    return true;
}

bool CBRRegKey::Attach(const HKEY& key, bool load) {
    if (!key) return false;
    std::lock_guard g(RegLock());
    if (key->IsDeleted()) return false;
    Close();
    key_ = key;
    (load ? forRead_ : forWrite_) = true;
    return true;
}

void CBRRegKey::Close() {
    key_.reset();
    forRead_ = forWrite_ = false;
}

bool CBRRegKey::Writable(const char* name) const { return key_ && name && !key_->IsDeleted(); }

bool CBRRegKey::ReadDWord(const char* name, uint32_t& value) const {
    if (!key_ || !name || !*name) return false;
    std::lock_guard g(RegLock());
    const SRegValue* v = key_->FindValue(name);
    if (!v || v->type != ERegType::DWord) return false;
    value = v->number;
    return true;
}

bool CBRRegKey::WriteDWord(const char* name, uint32_t value) {
    if (!Writable(name)) return false;
    std::lock_guard g(RegLock());
    key_->SetValue({name, ERegType::DWord, value, {}});
    return true;
}

bool CBRRegKey::ReadString(const char* name, std::string& text, int mode) const {
    if (!key_ || !name) return false;
    std::lock_guard g(RegLock());
    const SRegValue* v = key_->FindValue(name);
    if (!v || v->type != ERegType::String) return false;
    if (mode == 1) return DecodeRegString(v->bytes, text);
    text = v->bytes;
    return true;
}

bool CBRRegKey::WriteString(const char* name, const char* text, int mode) {
    if (!Writable(name) || !text) return false;
    std::lock_guard g(RegLock());
    key_->SetValue({name, ERegType::String, 0, mode == 1 ? EncodeRegString(text) : std::string(text)});
    return true;
}

bool CBRRegKey::QueryBinary(const char* name, std::string& bytes) const {
    if (!key_ || !name) return false;
    std::lock_guard g(RegLock());
    const SRegValue* v = key_->FindValue(name);
    if (!v || v->type != ERegType::Binary) return false;
    bytes = v->bytes;
    return true;
}

bool CBRRegKey::WriteBinary(const char* name, const void* data, size_t size) {
    if (!Writable(name) || (!data && size)) return false;
    std::lock_guard g(RegLock());
    key_->SetValue({name, ERegType::Binary, 0, std::string(static_cast<const char*>(data), size)});
    return true;
}

bool CBRRegKey::EnumKey(uint32_t index, std::string& name) const {
    if (!key_) return false;
    std::lock_guard g(RegLock());
    const auto& kids = key_->Children();
    if (index >= kids.size()) return false;
    name = kids[index]->Name();
    return true;
}

bool CBRRegKey::DeleteTree(const HKEY& parent, const char* path) {
    if (!parent || !path || !*path) return false;
    std::lock_guard g(RegLock());
    std::string_view p(path);
    while (!p.empty() && p.back() == '\\') p.remove_suffix(1);
    size_t sep = p.rfind('\\');
    std::string leaf(sep == std::string_view::npos ? p : p.substr(sep + 1));
    HKEY owner = parent;
    if (sep != std::string_view::npos) {
        std::string head(p.substr(0, sep));
        owner = Resolve(parent, head.c_str(), false);
    }
    return owner && !leaf.empty() && owner->DeleteChild(leaf);
}

}  // namespace plover
