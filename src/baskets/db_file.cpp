#include "baskets/db_file.h"

#include "platform/archive_bytes.h"

namespace plover {
namespace {

// n strings; the count is checked against the bytes left (each string takes at least one).
EDownloadDBRead ReadList(CByteReader& in, std::vector<std::string>& out) {
    uint32_t n;
    if (!in.U32(n)) return EDownloadDBRead::Truncated;
    if (n > in.Remaining()) return EDownloadDBRead::Truncated;
    out.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        std::string s;
        switch (ReadArchiveString(in, s)) {
            case EStringRead::Ok: out.push_back(std::move(s)); break;
            case EStringRead::Truncated: return EDownloadDBRead::Truncated;
            case EStringRead::BadForm: return EDownloadDBRead::BadString;
        }
    }
    return EDownloadDBRead::Loaded;
}

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

void AppendDBString(std::string& out, std::string_view text) { PutArchiveString(out, text); }

std::string EncodeDownloadDB(const std::vector<std::string>& addresses, const std::vector<std::string>& paths) {
    std::string out;
    PutU32(out, kDownloadDBVersion);
    PutU32(out, uint32_t(addresses.size()));
    for (const auto& a : addresses) AppendDBString(out, a);
    PutU32(out, uint32_t(paths.size()));
    for (const auto& p : paths) AppendDBString(out, p);
    return out;
}

EDownloadDBRead DecodeDownloadDB(std::string_view bytes, std::vector<std::string>& addresses,
                                 std::vector<std::string>& paths) {
    addresses.clear();
    paths.clear();
    CByteReader in(bytes);
    uint32_t version;
    EDownloadDBRead r = EDownloadDBRead::Loaded;
    if (!in.U32(version))
        r = EDownloadDBRead::Truncated;
    else if (version != kDownloadDBVersion)
        r = EDownloadDBRead::BadVersion;
    if (r == EDownloadDBRead::Loaded) r = ReadList(in, addresses);
    if (r == EDownloadDBRead::Loaded) r = ReadList(in, paths);
    if (r == EDownloadDBRead::Loaded && addresses.size() != paths.size()) r = EDownloadDBRead::LengthMismatch;
    if (r != EDownloadDBRead::Loaded) {
        addresses.clear();
        paths.clear();
    }
    return r;
}

}  // namespace plover
