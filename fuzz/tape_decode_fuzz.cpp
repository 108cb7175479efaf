// The cassette decoder on arbitrary samples: whatever a recording holds, the
// decoder must neither crash nor hang, and what it reports must hold together.
//
// Fuzz data: byte 0 and 1, the sample rate in units of 16 Hz (0 to 1048560 Hz,
// low byte first); byte 2, the channel count (0 to 3); byte 3, the sample
// format (8-bit, 16-bit or float, its bits taken as they are: NaN and
// infinities included); byte 4, the bit rate given (none, 300, 600, 1200, or
// one the decoder refuses); byte 5, the channel choice; byte 6, the seed of
// the block sizes the samples are fed in. The rest are the samples.
//
// Checked beyond what the sanitizers catch: the decoder is refused exactly
// for the rates, channel counts and bit rates it cannot take; the bytes
// counted are the bytes handed out; faults are kept in the recording's order,
// within the bytes decoded, with finite times; the speed is finite; without a
// signal there are no bytes and no faults; a bit rate given is the one
// reported.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "check.h"
#include "tape/kcs.h"
#include "tape/kcs_decode.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("tape_decode_fuzz", what);
}

constexpr size_t header_size = 7;

// The samples as floats, in the format chosen.
std::vector<float> samples_of(const uint8_t* data, size_t size, int format) {
    std::vector<float> samples;
    switch (format) {
        case 0:
            for (size_t i = 0; i < size; ++i)
                samples.push_back(static_cast<float>(static_cast<int8_t>(data[i])) / 128);
            break;
        case 1:
            for (size_t i = 0; i + 1 < size; i += 2) {
                auto v = static_cast<int16_t>(data[i] | data[i + 1] << 8);
                samples.push_back(static_cast<float>(v) / 32768);
            }
            break;
        default:
            for (size_t i = 0; i + 3 < size; i += 4) {
                float v = 0;
                std::memcpy(&v, data + i, sizeof v);
                samples.push_back(v);
            }
            break;
    }
    return samples;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < header_size) return 0;
    const int rate = (data[0] | data[1] << 8) * 16;
    const int channels = data[2] % 4;
    const int format = data[3] % 3;
    static constexpr int bauds[] = {0, 300, 600, 1200, 450};
    decode_options options;
    options.baud = bauds[data[4] % 5];
    options.channel = static_cast<channel_choice>(data[5] % 4);
    uint32_t seed = data[6];

    auto decoder = make_decoder(rate, channels, options);
    const bool takes = rate >= lowest_rate && rate <= highest_decoded_rate &&
                       (channels == 1 || channels == 2) &&
                       (options.baud == 0 || is_kcs_baud(options.baud));
    expect(static_cast<bool>(decoder) == takes, "the decoder was refused or made wrongly");
    if (!decoder) return 0;

    std::vector<float> samples = samples_of(data + header_size, size - header_size, format);
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    std::vector<unsigned char> bytes;
    for (size_t at = 0; at < frames;) {
        seed = seed * 1103515245u + 12345u;
        size_t n = std::min<size_t>(frames - at, 1 + (seed >> 16) % 4096);
        decode_samples(*decoder, samples.data() + at * static_cast<size_t>(channels), n, bytes);
        at += n;
    }
    decode_result result;
    finish_decoding(*decoder, bytes, result);

    expect(result.bytes == static_cast<int64_t>(bytes.size()), "bytes counted are not those given");
    expect(std::isfinite(result.speed), "the speed is not finite");
    expect(result.fault_count >= static_cast<int64_t>(result.faults.size()),
           "fewer faults counted than kept");
    expect(result.faults.size() <= max_kept_faults, "more faults kept than the limit");
    if (!result.signal) {
        expect(bytes.empty() && result.fault_count == 0, "bytes or faults without a signal");
    }
    if (options.baud != 0 && result.signal) {
        expect(result.baud == options.baud, "the bit rate given is not the one reported");
    }
    const double seconds = static_cast<double>(frames) / rate;
    int64_t previous = 0;
    for (const tape_fault& f : result.faults) {
        expect(std::isfinite(f.seconds) && f.seconds >= 0 && f.seconds <= seconds + 1,
               "a fault lies outside the recording");
        expect(f.first >= previous && f.first <= f.last, "faults out of order");
        expect(f.last < result.bytes, "a fault names a byte that was not decoded");
        previous = f.first;
    }
    return 0;
}
