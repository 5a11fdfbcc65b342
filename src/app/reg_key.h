#pragma once
// CBRRegKey: a handle on one key of the settings store, the small registry wrapper through
// which every stored record reads and writes. Paths are names separated by "\" (as in
// "Software\Bramble\Plover\Sites"); the parent is a root (RegCurrentUser()) or another open key.
//
// Strings can be stored in two modes: 0 stores the text itself; 1 stores an encoded form, the
// letter "X" and then, for every byte of the text, two lowercase hexadecimal digits of the
// byte's bitwise complement (passwords of stored site logins use it).
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "app/reg_node.h"

namespace plover {

// The program's key below the root of the store.
inline constexpr const char* kPloverKey = "Software\\Bramble\\Plover";

class CBRRegKey {
public:
    CBRRegKey() = default;
    ~CBRRegKey() { Close(); }
    CBRRegKey(const CBRRegKey&) = delete;
    CBRRegKey& operator=(const CBRRegKey&) = delete;
    CBRRegKey(CBRRegKey&& o) noexcept { *this = std::move(o); }
    CBRRegKey& operator=(CBRRegKey&& o) noexcept {
        key_ = std::move(o.key_);
        forRead_ = std::exchange(o.forRead_, false);
        forWrite_ = std::exchange(o.forWrite_, false);
        return *this;
    }

    // Opens an existing key; fails for a null or empty path, a null parent or a missing key.
    bool OpenForRead(const HKEY& parent, const char* path);
    // Opens the key, creating it (and the keys on its path) when missing; same guards.
    bool OpenForWrite(const HKEY& parent, const char* path);
    // For a load opens for reading, for a save opens for writing.
    bool Open(const HKEY& parent, const char* path, bool load) {
        return load ? OpenForRead(parent, path) : OpenForWrite(parent, path);
    }
    // A second handle on an already open key (a record working on its parent's key itself).
    bool Attach(const HKEY& key, bool load);
    void Close();

    bool IsOpen() const { return key_ != nullptr; }
    bool IsOpenForRead() const { return forRead_; }
    bool IsOpenForWrite() const { return forWrite_; }
    const HKEY& Handle() const { return key_; }
    operator const HKEY&() const { return key_; }

    // A 32-bit number; fails for a null or empty name, a missing value or one of another kind.
    bool ReadDWord(const char* name, uint32_t& value) const;
    bool WriteDWord(const char* name, uint32_t value);

    // Fails for a missing value or one that is not a string, and in mode 1 for a text that is not
    // a valid encoded form; the target is then unchanged.
    bool ReadString(const char* name, std::string& text, int mode = 0) const;
    // Fails for a null name or text.
    bool WriteString(const char* name, const char* text, int mode = 0);
    bool WriteString(const char* name, const std::string& text, int mode = 0) {
        return WriteString(name, text.c_str(), mode);
    }

    // A binary block: QueryBinary hands out the stored bytes of a binary value.
    bool QueryBinary(const char* name, std::string& bytes) const;
    bool WriteBinary(const char* name, const void* data, size_t size);

    // The name of the index-th subkey, in the store's order; false past the last.
    bool EnumKey(uint32_t index, std::string& name) const;

    // Deletes the key at path below parent with everything below it.
    static bool DeleteTree(const HKEY& parent, const char* path);

private:
    bool Writable(const char* name) const;

    HKEY key_;
    bool forRead_ = false;
    bool forWrite_ = false;
};

// The stored form of a string in mode 1, and back (false for a text that is not such a form).
std::string EncodeRegString(std::string_view text);
bool DecodeRegString(std::string_view stored, std::string& text);

}  // namespace plover
