#include "app/reg_table.h"

#include <cctype>
#include <climits>
#include <cstring>

namespace plover {
namespace {

void SerializeRow(const SRegTableEntry& row, CBRRegKey& key, bool load) {
    switch (row.kind) {
        case kRegDWord:
        case kRegInt: {
            auto* v = static_cast<uint32_t*>(row.target);
            if (load)
                key.ReadDWord(row.name, *v);  // a missing value leaves the variable as it was
            else
                key.WriteDWord(row.name, *v);
            break;
        }
        case kRegBinary: {
            if (!load) {
                key.WriteBinary(row.name, row.target, row.size);
                break;
            }
            std::string bytes;
            if (key.QueryBinary(row.name, bytes) && bytes.size() == row.size)
                std::memcpy(row.target, bytes.data(), row.size);
            else
                std::memset(row.target, 0, row.size);
            break;
        }
        case kRegString: {
            auto* s = static_cast<std::string*>(row.target);
            if (load)
                key.ReadString(row.name, *s);
            else
                key.WriteString(row.name, *s);
            break;
        }
        case kRegRecords:
            for (int i = 0; i < row.count; ++i) row.ops->at(row.target, size_t(i))->Serialize(key, load, i);
            break;
        case kRegRecordPtrs:
            if (!load) {
                size_t n = row.ops->size(row.target);
                for (size_t i = 0; i < n; ++i)
                    if (SRegAutoSaveItem* r = row.ops->at(row.target, i)) r->Serialize(key, false, int(i));
                break;
            }
            {
                std::string name;
                for (uint32_t i = 0; key.EnumKey(i, name); ++i) {
                    SRegAutoSaveItem* r = row.factory ? row.factory() : nullptr;
                    if (!r) break;
                    r->Serialize(key, true, RegKeyIndex(name));
                    row.ops->append(row.target, r);
                }
            }
            break;
        default: break;
    }
}

}  // namespace

int RegKeyIndex(const std::string& name) {
    size_t i = 0;
    while (i < name.size() && std::isspace(static_cast<unsigned char>(name[i]))) ++i;
    bool negative = false;
    if (i < name.size() && (name[i] == '+' || name[i] == '-')) negative = name[i++] == '-';
    long long n = 0;
    for (; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])); ++i) {
        n = n * 10 + (name[i] - '0');
        if (n > INT_MAX) n = INT_MAX;  // a huge name saturates instead of overflowing
    }
    return int(negative ? -n : n);
}

void SerializeTable(std::span<const SRegTableEntry> table, const HKEY& parent, const char* subkey, bool load) {
    CBRRegKey key;
    if (!(subkey ? key.Open(parent, subkey, load) : key.Attach(parent, load))) return;
    for (const auto& row : table) {
        if (row.kind == kRegEnd) break;
        SerializeRow(row, key, load);
    }
}

}  // namespace plover
