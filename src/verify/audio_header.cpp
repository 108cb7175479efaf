#include "verify/audio_header.h"

#include <cstring>

namespace {

bool starts(const unsigned char* data, size_t size, size_t at, const char* tag) {
    size_t n = std::strlen(tag);
    return size >= at + n && std::memcmp(data + at, tag, n) == 0;
}

// An MPEG audio frame header: 11 sync bits, then a version, layer, bit rate
// and sample rate that are not the reserved values.
bool mpeg_frame(const unsigned char* d, size_t size) {
    if (size < 4 || d[0] != 0xFF || (d[1] & 0xE0) != 0xE0) return false;
    int version = d[1] >> 3 & 3;
    int layer = d[1] >> 1 & 3;
    int bit_rate = d[2] >> 4;
    int sample_rate = d[2] >> 2 & 3;
    return version != 1 && layer != 0 && bit_rate != 15 && sample_rate != 3;
}

}  // namespace

bool looks_like_audio(const unsigned char* data, size_t size) {
    if (size < audio_header_size) return false;
    bool riff = starts(data, size, 0, "RIFF") || starts(data, size, 0, "RIFX") ||
                starts(data, size, 0, "RF64");
    if (riff && starts(data, size, 8, "WAVE")) return true;
    if (starts(data, size, 0, "FORM") &&
        (starts(data, size, 8, "AIFF") || starts(data, size, 8, "AIFC"))) {
        return true;
    }
    // ID3v2 tags ahead of MP3 frames: "ID3", major version 2 to 4, and a
    // size in four bytes of seven bits.
    bool id3 = starts(data, size, 0, "ID3") && data[3] >= 2 && data[3] <= 4 && data[4] != 0xFF &&
               (data[6] | data[7] | data[8] | data[9]) < 0x80;
    return starts(data, size, 0, "fLaC") || starts(data, size, 0, "OggS") || id3 ||
           mpeg_frame(data, size);
}
