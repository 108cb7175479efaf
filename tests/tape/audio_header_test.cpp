// How korvane-verify tells a recording from a load file by its first bytes:
// every container a recording comes in, and load files that begin with
// letters or bytes near to one.
#include "verify/audio_header.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(audio_header, tells_recordings_from_load_files) {
    const struct {
        std::string start;
        bool audio;
    } cases[] = {
        {"RIFF\x24\x3E\0\0WAVEfmt "s, true},
        {"RIFX\0\0\x3E\x24WAVEfmt "s, true},
        {"RF64\xFF\xFF\xFF\xFFWAVEds64"s, true},
        {"FORM\0\0\x7E\x3A"
         "AIFFCOMM"s,
         true},
        {"FORM\0\0\x7E\x3A"
         "AIFCFVER"s,
         true},
        {"fLaC\0\0\0\x22\x10\0\x10\0"s, true},
        {"OggS\0\x02\0\0\0\0\0\0"s, true},
        {"ID3\x04\0\0\0\0\x10\x23TIT2"s, true},
        {"\xFF\xFB\x90\x64\0\0\0\0\0\0\0\0"s, true},  // MPEG-1 layer III, 128 kbit/s
        {"RIFF\x24\x3E\0\0AVI LIST"s, false},
        {"FORM\0\0\x7E\x3A"
         "ILBMBMHD"s,
         false},
        {"ID3 PROGRAM\r;1803"s, false},  // message text ahead of checksum records
        {"\xFF\xFF\xFF\xFF\0\0\0\0\0\0\0\0"s, false},
        {"\xFF\xEA\x90\x64\0\0\0\0\0\0\0\0"s, false},  // a reserved MPEG version
        {".0300/A9\r00\r60\r.0300G"s, false},
        {";030300A90060010F\r\0\0\0\0\0\n$0300"s, false},
        {"RIFF\x24\x3E\0\0WAV"s, false},  // too short to tell
    };
    for (const auto& c : cases) {
        EXPECT_EQ(looks_like_audio(reinterpret_cast<const unsigned char*>(c.start.data()),
                                   c.start.size()),
                  c.audio)
            << c.start;
    }
}

}  // namespace
