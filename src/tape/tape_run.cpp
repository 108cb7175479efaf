#include "tape/tape_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "basic/pacing.h"
#include "cli/messages.h"
#include "cli/output_file.h"
#include "formats/streams.h"
#include "tape/audio_file.h"
#include "tape/command_line.h"
#include "tape/kcs.h"
#include "tape/recording.h"
#include "verify/decoders.h"

namespace {

constexpr size_t block_samples = 64 * 1024;

std::string system_error(int error) { return std::strerror(error); }

// A line on standard error: 0, or -1 when it cannot be written.
int complain(const std::string& text) {
    return write_message(("korvane-tape: " + text + "\n").c_str());
}

int trouble(const std::string& text) {
    complain(text);
    return tape_trouble;
}

const char* input_shown(const tape_settings& s) {
    return s.input_name != nullptr ? s.input_name : "standard input";
}

const char* output_shown(const tape_settings& s) {
    return s.output_name != nullptr ? s.output_name : "standard output";
}

// Opens IN, or takes standard input; -1 with the reason in error.
int open_input_fd(const tape_settings& s, std::string& error) {
    if (s.input_name == nullptr) return STDIN_FILENO;
    int fd = open(s.input_name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) error = std::string(s.input_name) + ": " + system_error(errno);
    return fd;
}

// Opens OUT with korvane's guard, or takes standard output unless it is the
// input itself; -1 with the reason in error.
int open_output_fd(const tape_settings& s, int in_fd, std::string& error) {
    if (s.output_name == nullptr) {
        if (same_regular_file(in_fd, STDOUT_FILENO)) {
            error = "standard output is the input file";
            return -1;
        }
        return STDOUT_FILENO;
    }
    int fd = -1;
    output_open opened = open_output_file(s.output_name, s.force, in_fd, fd);
    if (opened == output_open::opened) return fd;
    error = refusal_text(opened, s.output_name);
    return -1;
}

// Reads the whole load file; false with the reason in error.
bool read_load_file(const tape_settings& s, int fd, std::vector<unsigned char>& bytes,
                    std::string& error) {
    in_stream in;
    open_input(in, fd_source(fd));
    constexpr size_t chunk = 64 * 1024;
    for (;;) {
        size_t have = bytes.size();
        bytes.resize(have + chunk);
        errno = 0;
        size_t got = read_block(in, bytes.data() + have, chunk);
        bytes.resize(have + got);
        if (in.failed) {
            error = std::string(input_shown(s)) + ": " + system_error(errno);
            return false;
        }
        if (bytes.size() > tape_input_limit) {
            error = std::string(input_shown(s)) + ": larger than " +
                    std::to_string(tape_input_limit >> 20) + " MiB, too large for a load file";
            return false;
        }
        if (got < chunk) return true;
    }
}

// "7 min 38 s", rounded to the second.
std::string playing_time(int64_t samples, int rate) {
    auto seconds = static_cast<int64_t>(std::llround(static_cast<double>(samples) / rate));
    std::string text = std::to_string(seconds % 60) + " s";
    if (seconds >= 60) text = std::to_string(seconds / 60) + " min " + text;
    return text;
}

// Warns of a load file that will not load at the tape's rate, recognised as
// korvane-verify recognises it: a hybrid at 1200 baud, whose loader echoes
// faster than the C1P's screen scrolls, and a BASIC stream with fewer NULs
// than BASIC needs at the rate and stop bits. 0, or -1 when standard error fails.
int warn_of_rate(const tape_settings& s, const std::vector<unsigned char>& bytes) {
    const file_bytes file(bytes.data(), bytes.size());
    const tape_signal& signal = s.signal;
    switch (recognise_format(file).format) {
        case file_format::hybrid:
            if (signal.baud != 1200) return 0;
            return complain(
                "warning: a hybrid played at 1200 baud loses characters on the C1P (its loader "
                "echoes to the screen, which cannot keep up); play it at 600 baud or below");
        case file_format::basic: {
            const std::vector<listing_line> lines = split_listing(file);
            const basic_pacing pacing{
                signal.baud, signal.stop_bits == 1 ? ten_bit_character : eleven_bit_character};
            const auto shortfalls =
                pacing_shortfalls(std::span(lines).first(lines_read(lines)), pacing);
            if (shortfalls.empty()) return 0;
            const listing_line& line = lines[shortfalls.front().line];
            const long number = line_number(line.text);
            const std::string first = number >= 0
                                          ? "line " + std::to_string(number)
                                          : "the line at byte " + std::to_string(line.offset);
            const std::string rate = std::to_string(signal.baud);
            return complain("warning: the BASIC listing has fewer NULs than BASIC needs at " +
                            rate + " baud (" + first + " first); make it with korvane -b" + rate);
        }
        default: return 0;
    }
}

int encode(const tape_settings& s) {
    const bool streamed = s.output_name == nullptr;
    const audio_container container =
        streamed ? audio_container::wav : container_for_name(s.output_name);
    if (!container_holds(container, s.format)) {
        return trouble(std::string(output_shown(s)) + ": a " + container_name(container) +
                       " file cannot hold " + sample_format_name(s.format) + " samples");
    }
    std::string error;
    int in_fd = open_input_fd(s, error);
    if (in_fd < 0) return trouble(error);
    std::vector<unsigned char> bytes;
    if (!read_load_file(s, in_fd, bytes, error)) return trouble(error);

    const int64_t frames = tape_sample_count(s.signal, bytes.size());
    if (container != audio_container::flac && !fits_wav(s.format, frames)) {
        return trouble(std::string(output_shown(s)) + ": the recording would be larger than a " +
                       container_name(container) + " file can hold (4 GiB)");
    }
    int out_fd = open_output_fd(s, in_fd, error);
    if (out_fd < 0) return trouble(error);

    audio_writer writer;
    if (!open_audio_writer(writer, out_fd, streamed, container, s.format, s.signal.rate, frames,
                           error)) {
        close(out_fd);
        return trouble(std::string(output_shown(s)) + ": " + error);
    }
    kcs_encoder encoder;
    start_encoding(encoder, s.signal, bytes.data(), bytes.size());
    std::vector<float> samples(block_samples);
    bool good = true;
    for (;;) {
        size_t made = encode_samples(encoder, samples.data(), samples.size());
        if (made == 0) break;
        if (!write_audio(writer, samples.data(), made, error)) {
            good = false;
            break;
        }
    }
    std::string close_error;
    if (!close_audio_writer(writer, close_error) && good) {
        good = false;
        error = close_error;
    }
    if (!good) return trouble(std::string(output_shown(s)) + ": " + error);
    // A warning changes nothing; where standard error fails, -v's line would too.
    (void)warn_of_rate(s, bytes);
    if (s.verbose &&
        complain(std::to_string(bytes.size()) + (bytes.size() == 1 ? " byte, " : " bytes, ") +
                 playing_time(frames, s.signal.rate) + " at " + std::to_string(s.signal.baud) +
                 " baud") < 0) {
        return tape_trouble;
    }
    return tape_done;
}

// The decoded bytes on their way to OUT, and how many there were.
struct byte_output {
    out_stream stream;
    size_t taken = 0;
};

bool take_bytes(void* context, const unsigned char* data, size_t n) {
    auto& out = *static_cast<byte_output*>(context);
    out.taken += n;
    return put_block(data, n, out.stream) == 0;
}

int decode(const tape_settings& s) {
    std::string error;
    int in_fd = open_input_fd(s, error);
    if (in_fd < 0) return trouble(error);
    audio_reader reader;
    switch (open_audio_reader(reader, in_fd, nullptr, 0, error)) {
        case audio_open::opened: break;
        case audio_open::unreadable: return trouble(std::string(input_shown(s)) + ": " + error);
        case audio_open::not_audio:
            return trouble(std::string(input_shown(s)) +
                           " is not an audio file that can be read: " + error);
    }
    int out_fd = open_output_fd(s, in_fd, error);
    if (out_fd < 0) {
        close_audio_reader(reader);
        return trouble(error);
    }

    byte_output out;
    open_output(out.stream, fd_sink(out_fd));
    decode_result result;
    errno = 0;
    decode_end end = decode_recording(reader, s.decoding, {take_bytes, &out}, result, error);
    int write_errno = errno;
    close_audio_reader(reader);
    bool written = end != decode_end::stopped;
    errno = 0;
    if (close_output(out.stream) != 0 && written) {
        written = false;
        write_errno = errno;
    }
    // A run that fails before a byte is decoded leaves no empty OUT behind,
    // where OUT is a file of its own making (without -f it was created anew).
    auto discard_empty_output = [&] {
        if (out.taken == 0 && s.output_name != nullptr && !s.force) unlink(s.output_name);
    };
    switch (end) {
        case decode_end::decoded:
        case decode_end::stopped: break;
        case decode_end::unsuitable:
            discard_empty_output();
            return trouble(std::string(input_shown(s)) + " " + error);
        case decode_end::unreadable:
            discard_empty_output();
            return trouble(std::string(input_shown(s)) + ": " + error);
    }
    if (!written) {
        return trouble(std::string(output_shown(s)) + ": " +
                       (write_errno != 0 ? system_error(write_errno) : "write failed"));
    }
    if (!result.signal) {
        discard_empty_output();
        return trouble(std::string("no cassette signal found in ") + input_shown(s));
    }
    std::string text = "korvane-tape: " + decode_summary_text(result) + "\n";
    for (const tape_fault& f : result.faults) {
        text += std::string("korvane-tape: ") + fault_kind_text(f.kind) + " at " +
                fault_place_text(f) + "\n";
    }
    const int64_t unlisted = result.fault_count - static_cast<int64_t>(result.faults.size());
    if (unlisted > 0) {
        text += "korvane-tape: and " + std::to_string(unlisted) + " more faults\n";
    }
    // The report is what the user reads the recording by: when it cannot be
    // written, the run has failed.
    if (write_message(text.c_str()) < 0) return tape_trouble;
    return result.fault_count == 0 ? tape_done : tape_faults;
}

}  // namespace

int tape_main(int argc, char** argv) {
    tape_settings settings;
    std::string error;
    if (!parse_tape_command_line(argc, argv, settings, error)) {
        complain(error);
        write_message(tape_usage_line);
        return tape_trouble;
    }
    if (settings.help) {
        if (!write_and_close(STDOUT_FILENO, tape_help_text, std::strlen(tape_help_text))) {
            return trouble(std::string("standard output: ") +
                           (errno != 0 ? system_error(errno) : "write failed"));
        }
        return tape_done;
    }
    return settings.decode ? decode(settings) : encode(settings);
}
