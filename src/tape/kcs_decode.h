// The decoder: a recording's samples in, the bytes it carries out, with the
// bit rate, the tape's speed and every fault it met. It streams: samples go
// in a block at a time, memory stays flat whatever the recording's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

enum class channel_choice {
    cleanest,  // the channel whose signal is the cleaner FSK
    left,
    right,
    mix,  // the channels' mean
};

struct decode_options {
    int baud = 0;  // 300, 600 or 1200; 0: find it from the signal
    channel_choice channel = channel_choice::cleanest;
};

enum class tape_fault_kind {
    framing,  // a byte whose first stop bit is not a 1
    dropout,  // the signal vanished while bytes were arriving, or came back inside one
};

struct tape_fault {
    tape_fault_kind kind;
    double seconds;  // where in the recording it begins
    int64_t first;   // the first byte concerned, counted from 0 in the decoded bytes
    int64_t last;    // the last one (the same as first for a framing error)
};

// The faults kept in decode_result.faults; past these only their number grows.
inline constexpr size_t max_kept_faults = 10000;

struct decode_result {
    bool signal = false;  // a cassette signal was found at all
    int baud = 0;         // the bit rate found, or the one given; 0 when neither
    double speed = 0;     // the tape's speed against the nominal one: +0.021 for 2.1% fast
    int64_t bytes = 0;    // bytes decoded
    std::vector<tape_fault> faults;  // in the recording's order, the first max_kept_faults
    int64_t fault_count = 0;         // all the faults found, kept or not
};

struct kcs_decoder;

// The fastest sampling the decoder takes: four times the fastest studio
// rate. A header that names more is no recording of a cassette, and the
// decimation filter for it would take longer to set up than to decode.
inline constexpr int highest_decoded_rate = 768000;

// A decoder for a recording of `channels` interleaved channels (1 or 2) at
// `rate` samples per second (8000 to highest_decoded_rate). The pointer is
// empty when the rate, the channel count or options.baud is out of range.
std::unique_ptr<kcs_decoder, void (*)(kcs_decoder*)> make_decoder(int rate, int channels,
                                                                  const decode_options& options);

// Takes `frames` frames of interleaved samples, each between -1 and 1 (values
// beyond are taken as they are). The bytes decoded so far are appended to
// out, which the caller may write and empty between calls. While a signal
// is being found its samples are kept (memory stays bounded) and decoded
// once it is; while the bit rate is still being found (a fraction of a
// second of data) and while a dropout is being measured (at most 0.2 s),
// bytes are held back.
void decode_samples(kcs_decoder& decoder, const float* samples, size_t frames,
                    std::vector<unsigned char>& out);

// Ends the recording: appends the last bytes to out and fills result.
void finish_decoding(kcs_decoder& decoder, std::vector<unsigned char>& out, decode_result& result);
