#pragma once
// The sounds of the download events ("Sound #1" to "Sound #4"): the page plays them in an <audio>
// element from GET /api/sounds/N. The file is the one the settings name, never a path from the
// browser, and it is sent only when its record is enabled and its first bytes are a sound the
// browser plays (WAV, Ogg, MP3, FLAC): a setting pointed at any other file reads nothing out.
#include <string>
#include <string_view>

#include "app/settings_records.h"

namespace plover::web {

// "audio/wav", "audio/ogg", "audio/mpeg", "audio/flac" by the magic bytes; empty for anything else.
const char* SoundMimeType(std::string_view head);

struct SSoundFile {
    int status = 200;   // 200, or 404 (off, none, unreadable) / 415 (no sound) with error
    std::string mime, body, error;
};

// The sound of a record, read whole (at most 16 MiB).
SSoundFile LoadSound(const SSoundInfo& sound);

}  // namespace plover::web
