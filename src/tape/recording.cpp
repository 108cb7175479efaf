#include "tape/recording.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "tape/kcs.h"

namespace {

constexpr size_t block_frames = 16 * 1024;

std::string count_text(int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

decode_end decode_recording(audio_reader& reader, const decode_options& options, byte_sink sink,
                            decode_result& result, std::string& error) {
    if (reader.channels != 1 && reader.channels != 2) {
        error = "has " + std::to_string(reader.channels) +
                " channels; only mono and stereo recordings are read";
        return decode_end::unsuitable;
    }
    if (reader.rate < lowest_rate) {
        error = "is sampled at " + std::to_string(reader.rate) + " Hz; at least " +
                std::to_string(lowest_rate) + " are needed";
        return decode_end::unsuitable;
    }
    auto decoder = make_decoder(reader.rate, reader.channels, options);
    if (!decoder) {
        error = "cannot be decoded at " + std::to_string(reader.rate) + " Hz";
        return decode_end::unsuitable;
    }
    std::vector<float> samples(block_frames * static_cast<size_t>(reader.channels));
    std::vector<unsigned char> bytes;
    for (;;) {
        long got = read_audio(reader, samples.data(), block_frames, error);
        if (got < 0) return decode_end::unreadable;
        if (got == 0) break;
        decode_samples(*decoder, samples.data(), static_cast<size_t>(got), bytes);
        if (!bytes.empty() && !sink.take(sink.context, bytes.data(), bytes.size())) {
            return decode_end::stopped;
        }
        bytes.clear();
    }
    finish_decoding(*decoder, bytes, result);
    if (!bytes.empty() && !sink.take(sink.context, bytes.data(), bytes.size())) {
        return decode_end::stopped;
    }
    return decode_end::decoded;
}

std::string decode_summary_text(const decode_result& result) {
    // Tenths of a percent, and never "-0.0".
    double tenths = std::round(result.speed * 1000);
    char speed[32];
    std::snprintf(speed, sizeof speed, "%+.1f%%", tenths == 0 ? 0.0 : tenths / 10);
    // No byte decoded and no rate given: nothing tells the rate.
    std::string rate =
        result.baud != 0 ? std::to_string(result.baud) + " baud" : std::string("bit rate unknown");
    return rate + ", speed " + speed + ", " + count_text(result.bytes, "byte", "bytes") + ", " +
           count_text(result.fault_count, "fault", "faults");
}

std::string fault_place_text(const tape_fault& fault) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f s", fault.seconds);
    std::string text = seconds;
    if (fault.last > fault.first) {
        return text + " (bytes " + std::to_string(fault.first) + "-" + std::to_string(fault.last) +
               ")";
    }
    return text + " (byte " + std::to_string(fault.first) + ")";
}

const char* fault_kind_text(tape_fault_kind kind) {
    switch (kind) {
        case tape_fault_kind::framing: return "framing error";
        case tape_fault_kind::dropout: return "dropout";
    }
    return "fault";
}
