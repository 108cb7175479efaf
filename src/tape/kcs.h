// The Kansas City standard cassette signal as the OSI machines' ACIA and tape
// modem use it, and the encoder that makes it.
//
// Every byte is framed as one start bit (0), eight data bits lowest first and
// one or two stop bits (1). A 0 bit is a stretch of 1200 Hz, a 1 bit a stretch
// of 2400 Hz, each a whole number of cycles: at 300 baud four and eight, at
// 600 baud two and four, at 1200 baud one and two. The line at rest is 2400 Hz,
// so the leader before the first byte and the trailer after the last are 1 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr int space_hz = 1200;  // a 0 bit
inline constexpr int mark_hz = 2400;   // a 1 bit, and the line at rest

inline constexpr int lowest_rate = 8000;     // samples per second, encoder and decoder
inline constexpr int highest_rate = 192000;  // the encoder's upper limit

// True for the three bit rates the machines use: 300, 600 and 1200.
bool is_kcs_baud(int baud);

enum class wave_shape { sine, square };

// What the encoder makes.
struct tape_signal {
    int rate = 44100;            // samples per second
    int baud = 300;              // bits per second: 300, 600 or 1200
    int stop_bits = 2;           // 2, or 1 for machines set up that way
    double leader_seconds = 5;   // steady 2400 Hz before the first byte
    double trailer_seconds = 2;  // and after the last
    wave_shape shape = wave_shape::sine;
    double level_db = 3;  // peak level below full scale
};

// The bits of the whole recording: leader, frames, trailer.
struct tape_layout {
    int64_t leader_bits = 0;
    int64_t frame_bits = 0;  // bits per byte: 1 + 8 + stop bits
    int64_t bytes = 0;
    int64_t trailer_bits = 0;
    int64_t total_bits() const { return leader_bits + frame_bits * bytes + trailer_bits; }
};

tape_layout layout_tape(const tape_signal& signal, size_t bytes);

// Samples the recording holds, known before any is made.
int64_t tape_sample_count(const tape_signal& signal, size_t bytes);

// The encoder's state: it makes the samples a block at a time, so that memory
// stays flat however long the recording plays.
struct kcs_encoder {
    tape_signal signal;
    tape_layout layout;
    const unsigned char* data = nullptr;  // the bytes, kept by the caller
    float peak = 0;                       // the amplitude, full scale 1.0
    std::vector<float> wave;              // one cycle, `rate` samples: wave[i] at phase i/rate
    int64_t bit = 0;                      // the bit being made
    int64_t samples_left = 0;             // samples still to make
    int remainder = 0;  // where the sample lies in its bit, in units of 1/(rate*baud) s, times baud
    int phase = 0;      // the sample's phase, in units of 1/rate cycle
    int step = 0;       // phase added per sample: the bit's frequency
};

// Sets the encoder up for `count` bytes at `data`, which must stay valid.
void start_encoding(kcs_encoder& encoder, const tape_signal& signal, const unsigned char* data,
                    size_t count);

// Makes up to `room` samples into out, each between -1 and 1; returns how
// many, 0 once the recording is complete.
size_t encode_samples(kcs_encoder& encoder, float* out, size_t room);

// The value (0 or 1) of one bit of the recording.
int tape_bit(const kcs_encoder& encoder, int64_t bit);
