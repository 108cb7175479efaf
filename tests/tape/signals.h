// Test signals: recordings made by the encoder, spoilt the ways tapes are,
// and a decoder run that feeds them in blocks of uneven size.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "tape/kcs.h"
#include "tape/kcs_decode.h"

inline std::vector<unsigned char> random_bytes(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> data(count);
    for (unsigned char& b : data) b = static_cast<unsigned char>(rng());
    return data;
}

inline tape_signal short_tape(int rate, int baud = 300, int stop_bits = 2) {
    tape_signal s;
    s.rate = rate;
    s.baud = baud;
    s.stop_bits = stop_bits;
    s.leader_seconds = 0.4;
    s.trailer_seconds = 0.2;
    return s;
}

inline std::vector<float> render(const tape_signal& signal,
                                 const std::vector<unsigned char>& data) {
    kcs_encoder encoder;
    start_encoding(encoder, signal, data.data(), data.size());
    std::vector<float> out(static_cast<size_t>(tape_sample_count(signal, data.size())));
    size_t made = 0;
    while (size_t n = encode_samples(encoder, out.data() + made, out.size() - made)) made += n;
    out.resize(made);
    return out;
}

// The first sample of a bit of the recording: bits start at bit * rate / baud.
inline size_t bit_sample(const tape_signal& s, int64_t bit) {
    return static_cast<size_t>((bit * s.rate + s.baud - 1) / s.baud);
}

// The recording's bit that carries bit `position` (0 start, 1-8 data, 9 and
// 10 stop) of byte `index`.
inline int64_t frame_bit(const tape_signal& s, int64_t index, int position) {
    tape_layout l = layout_tape(s, 0);
    return l.leader_bits + index * l.frame_bits + position;
}

inline double bit_seconds(const tape_signal& s, int64_t bit) {
    return static_cast<double>(bit) / s.baud;
}

// Writes the space tone over one bit: every bit starts at phase 0.
inline void force_space(std::vector<float>& samples, const tape_signal& s, int64_t bit) {
    const double peak = std::pow(10.0, -s.level_db / 20);
    for (size_t n = bit_sample(s, bit); n < bit_sample(s, bit + 1); ++n) {
        double t = static_cast<double>(n) / s.rate - bit_seconds(s, bit);
        samples[n] = static_cast<float>(peak * std::sin(2 * std::numbers::pi * space_hz * t));
    }
}

inline void add_noise(std::vector<float>& samples, double sigma, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0, sigma);
    for (float& x : samples) x = static_cast<float>(x + gauss(rng));
}

// The sine's RMS at the encoder's default level.
inline double signal_rms(const tape_signal& s) {
    return std::pow(10.0, -s.level_db / 20) / std::numbers::sqrt2;
}

struct decoded {
    std::vector<unsigned char> bytes;
    decode_result result;
};

// Decodes interleaved samples, fed in blocks of 1 to 3000 frames.
inline decoded decode(const std::vector<float>& samples, int rate, int channels = 1,
                      const decode_options& options = {}) {
    decoded d;
    auto decoder = make_decoder(rate, channels, options);
    if (!decoder) return d;
    std::mt19937 rng(5);
    const size_t frames = samples.size() / static_cast<size_t>(channels);
    for (size_t at = 0; at < frames;) {
        size_t n = std::min<size_t>(frames - at, 1 + rng() % 3000);
        decode_samples(*decoder, samples.data() + at * static_cast<size_t>(channels), n, d.bytes);
        at += n;
    }
    finish_decoding(*decoder, d.bytes, d.result);
    return d;
}
