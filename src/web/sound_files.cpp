#include "web/sound_files.h"

#include "web/served_files.h"

namespace plover::web {
namespace {

constexpr size_t kMaxSound = 16 << 20;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

}  // namespace

const char* SoundMimeType(std::string_view head) {
    if (head.size() >= 12 && StartsWith(head, "RIFF") && head.substr(8, 4) == "WAVE") return "audio/wav";
    if (StartsWith(head, "OggS")) return "audio/ogg";
    if (StartsWith(head, "fLaC")) return "audio/flac";
    // An MP3 starts with its tag or with a frame's sync bits (eleven set bits).
    if (StartsWith(head, "ID3")) return "audio/mpeg";
    if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0xFF &&
        (static_cast<unsigned char>(head[1]) & 0xE0) == 0xE0)
        return "audio/mpeg";
    return "";
}

SSoundFile LoadSound(const SSoundInfo& sound) {
    SSoundFile out;
    auto refuse = [&out](int status, std::string error) {
        out.status = status;
        out.error = std::move(error);
        return out;
    };
    if (!sound.bEnable) return refuse(404, "This sound is turned off.");
    if (sound.csWavFile.empty()) return refuse(404, "No sound file is chosen.");
    if (!ReadServedFile(sound.csWavFile, kMaxSound, out.body))
        return refuse(404, "The sound file cannot be read (or is larger than 16 MiB): " + sound.csWavFile);
    out.mime = SoundMimeType(out.body);
    if (out.mime.empty()) {
        out.body.clear();  // nothing of a file that is no sound goes out
        return refuse(415, "The sound file is no WAV, Ogg, MP3 or FLAC sound: " + sound.csWavFile);
    }
    return out;
}

}  // namespace plover::web
