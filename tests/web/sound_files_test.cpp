// The sounds the page plays: which files pass as sounds, and which records give out their file.
#include <gtest/gtest.h>

#include "testutil/temp_dir.h"
#include "web/sound_files.h"

namespace plover::web {
namespace {

using test::TempDir;
using test::WriteFile;
using namespace std::string_literals;  // the heads hold zero bytes

TEST(SoundFiles, TypeByFirstBytes) {
    struct Case {
        std::string head;
        std::string mime;
    } cases[] = {
        {"RIFF\x24\0\0\0WAVEfmt "s, "audio/wav"s}, {"RIFF\x24\0\0\0WEBPVP8 "s, ""s},  {"OggS\0\x02"s, "audio/ogg"s},
        {"fLaC\0\0\0\x22"s, "audio/flac"s},        {"ID3\x04\0"s, "audio/mpeg"s},     {"\xFF\xFB\x90\x64"s, "audio/mpeg"s},
        {"\xFF\xD8\xFF\xE0"s, ""s},                {"RIFF"s, ""s},                    {"#!/bin/sh\n"s, ""s},
        {""s, ""s},                                {"\xFF"s, ""s},
    };
    for (const Case& c : cases) EXPECT_EQ(SoundMimeType(c.head), c.mime) << c.head;
}

TEST(SoundFiles, OnlyAnEnabledRecordsSoundIsSent) {
    TempDir dir;
    std::string wav = "RIFF\x24\0\0\0WAVEfmt "s + std::string(32, '\0');
    WriteFile(dir / "ding.wav", wav);
    WriteFile(dir / "secret.txt", "not a sound");
    SSoundInfo sound;
    sound.csWavFile = (dir / "ding.wav").string();
    EXPECT_EQ(LoadSound(sound).status, 404);  // turned off

    sound.bEnable = 1;
    SSoundFile file = LoadSound(sound);
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.mime, "audio/wav");
    EXPECT_EQ(file.body, wav);

    sound.csWavFile = (dir / "secret.txt").string();
    file = LoadSound(sound);
    EXPECT_EQ(file.status, 415);
    EXPECT_TRUE(file.body.empty());
    EXPECT_NE(file.error.find("no WAV, Ogg, MP3 or FLAC sound"), std::string::npos) << file.error;

    for (std::string path : {std::string(), (dir / "missing.wav").string(), dir.Str()}) {
        sound.csWavFile = path;
        EXPECT_EQ(LoadSound(sound).status, 404) << path;
    }
}

}  // namespace
}  // namespace plover::web
