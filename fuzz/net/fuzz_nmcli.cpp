// nmcli's terse output as the NetworkManager dialer reads it: active-connection lines and a
// profile's details. Nothing may crash or hang, and splitting never loses a field separator.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/nm_dialer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    size_t colons = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == ':')
            ++colons;
    }
    if (plover::SplitNmcliTerseLine(text).size() != colons + 1) __builtin_trap();
    plover::SNmProfile profile = plover::ProfileFromDetails(plover::ParseNmcliDetails(text));
    if (profile.passwordSetting.empty() && !profile.passwordSaved) __builtin_trap();
    return 0;
}
