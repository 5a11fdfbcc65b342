#pragma once
// The settings by name, for the settings commands: every value of the main table and of the
// records nested in it, in stored order. A nested value is named by its record's subkey and its
// own name: "TimeoutParams/dwConnect", "Sound #2/csWavFile", "TrafficMode1/dwTransferQuota".
//
// Text forms: numbers in decimal (colours in hexadecimal "0x00BBGGRR"; a reader takes either
// base for any number); strings as they are; binary blocks as their 32-bit numbers separated by
// spaces ("32 32" for a size, six numbers for a window position).
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"

namespace plover {

struct SSettingInfo {
    std::string name;
    int kind = kRegEnd;  // kRegDWord, kRegInt, kRegBinary or kRegString
    void* target = nullptr;
    size_t size = 0;  // binary blocks: bytes
};

std::vector<SSettingInfo> ListSettings(CRegistrySettings& s);
// By name, ignoring ASCII case as the store does; null when there is none.
const SSettingInfo* FindSetting(const std::vector<SSettingInfo>& list, std::string_view name);

std::string FormatSetting(const SSettingInfo& info);
// Sets the variable from text; false with a reason (and no change) for text of the wrong kind.
bool ParseSetting(const SSettingInfo& info, std::string_view text, std::string* error);
// "number", "signed number", "string", "2 numbers"...: what a value of this setting looks like.
std::string DescribeKind(const SSettingInfo& info);

}  // namespace plover
