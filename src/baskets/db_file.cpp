#include "baskets/db_file.h"


namespace plover {
namespace {

void AppendU16(std::string& out, uint16_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}

void AppendU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

// A cursor over the file's bytes; every read checks what is left first.
class CReader {
public:
    explicit CReader(std::string_view bytes) : bytes_(bytes) {}

    size_t Left() const { return bytes_.size() - pos_; }

    bool U8(uint8_t& v) {
        if (Left() < 1) return false;
        v = uint8_t(bytes_[pos_++]);
        return true;
    }
    bool U16(uint16_t& v) {
        if (Left() < 2) return false;
        v = uint16_t(uint8_t(bytes_[pos_]) | (uint8_t(bytes_[pos_ + 1]) << 8));
        pos_ += 2;
        return true;
    }
    bool U32(uint32_t& v) {
        if (Left() < 4) return false;
        v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(bytes_[pos_ + size_t(i)]);
        pos_ += 4;
        return true;
    }
    EDownloadDBRead String(std::string& out) {
        uint8_t b;
        if (!U8(b)) return EDownloadDBRead::Truncated;
        uint32_t length = b;
        if (b == 0xFF) {
            uint16_t w;
            if (!U16(w)) return EDownloadDBRead::Truncated;
            if (w == 0xFFFE) return EDownloadDBRead::BadString;
            length = w;
            if (w == 0xFFFF && !U32(length)) return EDownloadDBRead::Truncated;
        }
        if (Left() < length) return EDownloadDBRead::Truncated;
        out.assign(bytes_.substr(pos_, length));
        pos_ += length;
        return EDownloadDBRead::Loaded;
    }
    // n strings; the count is checked against the bytes left (each string takes at least one).
    EDownloadDBRead List(std::vector<std::string>& out) {
        uint32_t n;
        if (!U32(n)) return EDownloadDBRead::Truncated;
        if (n > Left()) return EDownloadDBRead::Truncated;
        out.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
            std::string s;
            EDownloadDBRead r = String(s);
            if (r != EDownloadDBRead::Loaded) return r;
            out.push_back(std::move(s));
        }
        return EDownloadDBRead::Loaded;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

}  // namespace

const char* DownloadDBReadText(EDownloadDBRead result) {
    switch (result) {
        case EDownloadDBRead::Loaded: return "loaded";
        case EDownloadDBRead::BadVersion: return "it is of another version";
        case EDownloadDBRead::Truncated: return "it ends early";
        case EDownloadDBRead::BadString: return "it holds a malformed string";
        case EDownloadDBRead::LengthMismatch: return "its address and path lists differ in length";
    }
    return "unknown";
}

void AppendDBString(std::string& out, std::string_view text) {
    size_t n = text.size();
    if (n < 0xFF) {
        out.push_back(char(n));
    } else if (n < 0xFFFE) {
        out.push_back(char(0xFF));
        AppendU16(out, uint16_t(n));
    } else {
        out.push_back(char(0xFF));
        AppendU16(out, 0xFFFF);
        AppendU32(out, uint32_t(n));
    }
    out.append(text);
}

std::string EncodeDownloadDB(const std::vector<std::string>& addresses, const std::vector<std::string>& paths) {
    std::string out;
    AppendU32(out, kDownloadDBVersion);
    AppendU32(out, uint32_t(addresses.size()));
    for (const auto& a : addresses) AppendDBString(out, a);
    AppendU32(out, uint32_t(paths.size()));
    for (const auto& p : paths) AppendDBString(out, p);
    return out;
}

EDownloadDBRead DecodeDownloadDB(std::string_view bytes, std::vector<std::string>& addresses,
                                 std::vector<std::string>& paths) {
    addresses.clear();
    paths.clear();
    CReader in(bytes);
    uint32_t version;
    EDownloadDBRead r = EDownloadDBRead::Loaded;
    if (!in.U32(version))
        r = EDownloadDBRead::Truncated;
    else if (version != kDownloadDBVersion)
        r = EDownloadDBRead::BadVersion;
    if (r == EDownloadDBRead::Loaded) r = in.List(addresses);
    if (r == EDownloadDBRead::Loaded) r = in.List(paths);
    if (r == EDownloadDBRead::Loaded && addresses.size() != paths.size()) r = EDownloadDBRead::LengthMismatch;
    if (r != EDownloadDBRead::Loaded) {
        addresses.clear();
        paths.clear();
    }
    return r;
}

}  // namespace plover
