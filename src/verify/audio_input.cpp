#include "verify/audio_input.h"

#if KORVANE_AUDIO

#include "tape/audio_file.h"
#include "tape/recording.h"

namespace {

struct limited_bytes {
    std::vector<unsigned char>* bytes;
    size_t limit;
    bool too_many = false;
};

bool take_bytes(void* context, const unsigned char* data, size_t n) {
    auto& to = *static_cast<limited_bytes*>(context);
    if (to.bytes->size() + n > to.limit) {
        to.too_many = true;
        return false;
    }
    to.bytes->insert(to.bytes->end(), data, data + n);
    return true;
}

}  // namespace

bool decode_audio_input(int fd, const char* shown, size_t limit, std::vector<unsigned char>& bytes,
                        audio_summary& summary, std::string& error) {
    const std::string name = shown;
    audio_reader reader;
    std::string reason;
    switch (open_audio_reader(reader, fd, bytes.data(), bytes.size(), reason)) {
        case audio_open::opened: break;
        case audio_open::unreadable: error = name + ": " + reason; return false;
        case audio_open::not_audio:
            error = name + " is not an audio file that can be read: " + reason;
            return false;
    }
    bytes.clear();
    bytes.shrink_to_fit();
    limited_bytes to{&bytes, limit};
    decode_result result;
    decode_end end = decode_recording(reader, {}, {take_bytes, &to}, result, reason);
    close_audio_reader(reader);
    switch (end) {
        case decode_end::decoded: break;
        case decode_end::unsuitable: error = name + " " + reason; return false;
        case decode_end::unreadable: error = name + ": " + reason; return false;
        case decode_end::stopped:
            error = name + ": the recording holds more than " + std::to_string(limit >> 20) +
                    " MiB, too large for a load file";
            return false;
    }
    if (!result.signal) {
        error = "no cassette signal found in " + name;
        return false;
    }
    summary.line = decode_summary_text(result);
    summary.baud = result.baud;
    summary.unlisted =
        static_cast<long>(result.fault_count) - static_cast<long>(result.faults.size());
    for (const tape_fault& f : result.faults) {
        summary.faults.push_back(
            {static_cast<long>(f.first), fault_place_text(f), fault_kind_text(f.kind)});
    }
    return true;
}

#else

bool decode_audio_input(int, const char* shown, size_t, std::vector<unsigned char>&, audio_summary&,
                        std::string& error) {
    error = std::string(shown) +
            " is an audio recording, and this korvane-verify was built without audio support; "
            "decode it with korvane-tape -d.";
    return false;
}

#endif
