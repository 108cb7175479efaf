// The encoder works in exact integer time. Sample n lies in bit
// k = floor(n * baud / rate), at n * baud - k * rate units of 1/(rate * baud)
// seconds into it. Each bit holds a whole number of cycles, so the tone's
// phase at a bit's start is always 0 and within the bit it is
// (frequency / baud) * remainder / rate cycles: a table of one cycle in
// `rate` steps gives every sample exactly, and the wave runs on from bit to
// bit without a jump and without drifting.
#include <cmath>
#include <numbers>

#include "tape/kcs.h"

bool is_kcs_baud(int baud) { return baud == 300 || baud == 600 || baud == 1200; }

tape_layout layout_tape(const tape_signal& signal, size_t bytes) {
    tape_layout layout;
    layout.leader_bits = std::llround(signal.leader_seconds * signal.baud);
    layout.frame_bits = 1 + 8 + signal.stop_bits;
    layout.bytes = static_cast<int64_t>(bytes);
    layout.trailer_bits = std::llround(signal.trailer_seconds * signal.baud);
    return layout;
}

int64_t tape_sample_count(const tape_signal& signal, size_t bytes) {
    int64_t bits = layout_tape(signal, bytes).total_bits();
    return (bits * signal.rate + signal.baud - 1) / signal.baud;
}

int tape_bit(const kcs_encoder& encoder, int64_t bit) {
    const tape_layout& l = encoder.layout;
    int64_t in_data = bit - l.leader_bits;
    if (in_data < 0 || in_data >= l.frame_bits * l.bytes) return 1;
    int64_t position = in_data % l.frame_bits;
    if (position == 0) return 0;  // the start bit
    if (position > 8) return 1;   // the stop bits
    return encoder.data[in_data / l.frame_bits] >> (position - 1) & 1;
}

namespace {

int bit_frequency(const kcs_encoder& encoder, int64_t bit) {
    return tape_bit(encoder, bit) != 0 ? mark_hz : space_hz;
}

}  // namespace

void start_encoding(kcs_encoder& encoder, const tape_signal& signal, const unsigned char* data,
                    size_t count) {
    encoder.signal = signal;
    encoder.layout = layout_tape(signal, count);
    encoder.data = data;
    encoder.peak = static_cast<float>(std::pow(10.0, -signal.level_db / 20));
    encoder.wave.assign(static_cast<size_t>(signal.rate), 0.0f);
    for (int i = 0; i < signal.rate; ++i) {
        double value = signal.shape == wave_shape::square
                           ? (2 * i < signal.rate ? 1.0 : -1.0)
                           : std::sin(2 * std::numbers::pi * i / signal.rate);
        encoder.wave[static_cast<size_t>(i)] = static_cast<float>(value * encoder.peak);
    }
    encoder.bit = 0;
    encoder.samples_left = tape_sample_count(signal, count);
    encoder.remainder = 0;
    encoder.phase = 0;
    encoder.step = bit_frequency(encoder, 0);
}

size_t encode_samples(kcs_encoder& encoder, float* out, size_t room) {
    const int rate = encoder.signal.rate;
    const int baud = encoder.signal.baud;
    const float* wave = encoder.wave.data();
    size_t made = 0;
    while (made < room && encoder.samples_left > 0) {
        if (encoder.remainder >= rate) {
            encoder.remainder -= rate;
            ++encoder.bit;
            encoder.step = bit_frequency(encoder, encoder.bit);
            encoder.phase = encoder.step / baud * encoder.remainder % rate;
        }
        // The samples left in this bit, this block and the recording.
        int64_t run = (rate - encoder.remainder + baud - 1) / baud;
        if (run > encoder.samples_left) run = encoder.samples_left;
        if (run > static_cast<int64_t>(room - made)) run = static_cast<int64_t>(room - made);
        int phase = encoder.phase;
        const int step = encoder.step;
        for (int64_t i = 0; i < run; ++i) {
            out[made++] = wave[phase];
            phase += step;
            if (phase >= rate) phase -= rate;
        }
        encoder.phase = phase;
        encoder.remainder += static_cast<int>(run) * baud;
        encoder.samples_left -= run;
    }
    return made;
}
