#pragma once
// The records nested in the main settings, each stored under its own subkey of
// "Software\Bramble\Plover" through a table of its own. Field names are the stored value names.
#include <cstdint>
#include <string>
#include <vector>

#include "app/reg_table.h"

namespace plover {

// Automatic dialling: how often and how far apart the dial-up engine tries ("AutoDial").
struct SAutoDial : SRegTableItem {
    int32_t On = 0;
    uint32_t Times = 25;  // attempts
    uint32_t Sec = 20;    // seconds between attempts

    std::string KeyName(int) const override { return "AutoDial"; }
    std::vector<SRegTableEntry> Table() override {
        return {RegInt("On", On), RegDWord("Times", Times), RegDWord("Sec", Sec)};
    }
};

// Time-outs of the download workers, in seconds, and the retry count ("TimeoutParams").
// dwRetry is set to 1 before every load and save of the main settings.
struct STimeoutParams : SRegTableItem {
    uint32_t dwConnect = 20;
    uint32_t dwTransfer = 10;
    uint32_t dwRetry = 1;

    std::string KeyName(int) const override { return "TimeoutParams"; }
    std::vector<SRegTableEntry> Table() override {
        return {RegDWord("dwConnect", dwConnect), RegDWord("dwTransfer", dwTransfer), RegDWord("dwRetry", dwRetry)};
    }
};

// The find function of the download panes ("FindInfo"); the search text is not stored.
struct SFindInfo : SRegTableItem {
    std::string csText;
    int32_t bFilename = 1;
    int32_t bServer = 1;
    int32_t bFinished = 1;
    int32_t bNotFinished = 1;
    int32_t bPaused = 1;
    int32_t bFailed = 1;
    int32_t bAdv = 0;
    int32_t eFrom = 1;
    int32_t eWhatToDo = 0;

    std::string KeyName(int) const override { return "FindInfo"; }
    std::vector<SRegTableEntry> Table() override {
        return {RegInt("bFilename", bFilename), RegInt("bServer", bServer),   RegInt("bFinished", bFinished),
                RegInt("bNotFinished", bNotFinished), RegInt("bPaused", bPaused), RegInt("bFailed", bFailed),
                RegInt("bAdv", bAdv),           RegInt("eFrom", eFrom),       RegInt("eWhatToDo", eWhatToDo)};
    }
};

// A sound played when enabled: index 0 a download starts, 1 one finishes, 2 one fails, 3 the
// last running download has ended ("Sound #1" to "Sound #4").
struct SSoundInfo : SRegTableItem {
    int32_t bEnable = 0;
    std::string csWavFile;

    std::string KeyName(int index) const override { return "Sound #" + std::to_string(index + 1); }
    std::vector<SRegTableEntry> Table() override {
        return {RegInt("bEnable", bEnable), RegString("csWavFile", csWavFile)};
    }
};
inline constexpr int kSoundDownloadStarted = 0;
inline constexpr int kSoundDownloadFinished = 1;
inline constexpr int kSoundDownloadFailed = 2;
inline constexpr int kSoundQueueDone = 3;

// One traffic mode of the downloader ("TrafficMode1" to "TrafficMode3"); the defaults depend on
// the mode and are set by SetTrafficModeDefaults before the settings are loaded.
struct STrafficModeSettings : SRegTableItem {
    uint32_t dwMaxDownloads = 0;
    uint32_t dwMinSectSize = 0;
    uint32_t dwMaxSectPerDownload = 0;
    uint32_t dwTransferQuota = 0;  // bytes per second

    std::string KeyName(int index) const override { return "TrafficMode" + std::to_string(index + 1); }
    std::vector<SRegTableEntry> Table() override {
        return {RegDWord("dwMaxDownloads", dwMaxDownloads), RegDWord("dwMinSectSize", dwMinSectSize),
                RegDWord("dwMaxSectPerDownload", dwMaxSectPerDownload),
                RegDWord("dwTransferQuota", dwTransferQuota)};
    }
};

}  // namespace plover
