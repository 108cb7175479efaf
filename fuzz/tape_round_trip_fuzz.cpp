// The cassette modem both ways: the fuzz bytes encoded at a fuzzed bit rate,
// sample rate and framing, decoded with that bit rate given, must come back
// every one, with no fault; a recording of no bytes decodes to none, and an
// empty one has no signal. Behind a leader of less mark than the rest of a
// byte can hold (10 bits), the first byte cannot be told from the rest of one
// begun before the recording, and is reported as a dropout, with the bytes
// after it that may be framed out of step: those may come back wrong, but
// only inside the dropout. A recording must be long enough for its signal to
// be found.
//
// Fuzz data: byte 0, the bit rate (300, 600 or 1200); bytes 1 and 2, the
// sample rate (from 8000 Hz up in steps of 3 Hz, over the encoder's range, low
// byte first); byte 3, the framing and wave: bit 0 one stop bit instead of
// two, bit 1 a square wave (from 22050 Hz up), bits 2-3 the leader (none, 8 bits, 11 bits,
// 0.4 s), bits 4-7 the level, 0 to 15 dB below full scale; byte 4, the
// trailer (1 bit, 2 bits, 0.2 s); byte 5, the seed of the block sizes the
// samples are fed in. The rest are the bytes, at most 256.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "check.h"
#include "tape/kcs.h"
#include "tape/kcs_decode.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("tape_round_trip_fuzz", what);
}

constexpr size_t header_size = 6;
constexpr size_t max_bytes = 256;
constexpr int square_floor = 22050;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < header_size) return 0;
    static constexpr int bauds[] = {300, 600, 1200};
    tape_signal signal;
    signal.baud = bauds[data[0] % 3];
    signal.rate = lowest_rate + (data[1] | data[2] << 8) * 3 % (highest_rate - lowest_rate + 1);
    signal.stop_bits = (data[3] & 1) != 0 ? 1 : 2;
    // A square wave sampled this slowly or slower is no square at the tones:
    // its harmonics fold back onto them.
    const bool square_holds = signal.rate >= square_floor;
    signal.shape = (data[3] & 2) != 0 && square_holds ? wave_shape::square : wave_shape::sine;
    // Negative lengths are in bits.
    static constexpr double leaders[] = {0, -8, -11, 0.4};
    static constexpr double trailers[] = {-1, -2, 0.2};
    auto seconds = [&](double length) { return length < 0 ? -length / signal.baud : length; };
    signal.leader_seconds = seconds(leaders[data[3] >> 2 & 3]);
    signal.trailer_seconds = seconds(trailers[data[4] % 3]);
    signal.level_db = data[3] >> 4;
    uint32_t seed = data[5];
    const std::vector<unsigned char> bytes(data + header_size,
                                           data + std::min(size, header_size + max_bytes));

    kcs_encoder encoder;
    start_encoding(encoder, signal, bytes.data(), bytes.size());
    std::vector<float> samples(static_cast<size_t>(tape_sample_count(signal, bytes.size())));
    size_t made = 0;
    while (size_t n = encode_samples(encoder, samples.data() + made, samples.size() - made)) {
        made += n;
    }
    expect(made == samples.size(), "the encoder made other than the samples it counted");

    decode_options options;
    options.baud = signal.baud;
    auto decoder = make_decoder(signal.rate, 1, options);
    expect(static_cast<bool>(decoder), "no decoder for a rate the encoder makes");
    std::vector<unsigned char> back;
    for (size_t at = 0; at < samples.size();) {
        seed = seed * 1103515245u + 12345u;
        size_t n = std::min<size_t>(samples.size() - at, 1 + (seed >> 16) % 8192);
        decode_samples(*decoder, samples.data() + at, n, back);
        at += n;
    }
    decode_result result;
    finish_decoding(*decoder, back, result);

    if (samples.empty()) expect(!result.signal, "a recording of nothing gave a signal");
    // The signal is found over some 40 ms of it, by a tone that holds for a
    // few bits: in a recording with no leader whose tone changes every bit or
    // two (bytes of $55 at 1200 baud) only a run of 4 equal bits gives it
    // something to go by, and only where it comes 50 ms or more into the
    // recording, once the tone's share is known, and 30 ms or more before the
    // end (so the recording lasts 80 ms at least).
    const int64_t bits = encoder.layout.total_bits();
    bool steady_in_time = false;  // such a run ends in that stretch
    for (int64_t bit = 0, run = 0, last = -1; bit < bits && !steady_in_time; ++bit) {
        const int value = tape_bit(encoder, bit);
        run = value == last ? run + 1 : 1;
        last = value;
        steady_in_time =
            run >= 4 && (bit + 1) * 20 >= signal.baud && (bits - bit - 1) * 100 >= 3 * signal.baud;
    }
    if (!result.signal && !steady_in_time) return 0;
    const double leader_bits = signal.leader_seconds * signal.baud;
    if (leader_bits > 10 || bytes.empty()) {
        expect(back == bytes, "the bytes did not come back");
        expect(result.fault_count == 0, "a clean recording decoded with faults");
        return 0;
    }
    // Until the first byte is known to be one, the bytes may be framed out
    // of step: any that came back wrong must lie in the dropout reported.
    expect(back.size() == bytes.size(), "bytes were lost or made up behind a short leader");
    expect(result.fault_count == 1 && result.faults[0].kind == tape_fault_kind::dropout &&
               result.faults[0].first == 0,
           "a short leader gave other faults than a dropout from the first byte");
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (back[i] != bytes[i]) {
            expect(static_cast<int64_t>(i) <= result.faults[0].last,
                   "a byte came back wrong outside the dropout reported");
        }
    }
    return 0;
}
