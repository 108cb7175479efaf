// Recordings made by korvane-tape read back by korvane-tape -d and by
// korvane-verify: round trips at every baud rate through the containers and
// sample formats, faults planted in the audio with their exact lines and
// statuses, and a failing output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "front_runs.h"

namespace {

std::string random_bytes(size_t n, unsigned seed) {
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

struct trip {
    const char* name;
    std::vector<std::string> encode;  // options; the recording is rec.EXT
    const char* file;                 // the recording's name; empty: a pipe both ways
    std::string summary;
};

void PrintTo(const trip& t, std::ostream* os) { *os << t.name; }

// 200 random bytes, every value of a bit in every place, NULs among them.
const trip trips[] = {
    {"baud_300_wav_44100",
     {"-L", "1", "-T", "0.5"},
     "rec.wav",
     "300 baud, speed +0.0%, 200 bytes, 0 faults"},
    {"baud_600_wav_8000_8_bit",
     {"-b", "600", "-r", "8000", "-s", "8", "-L", "1"},
     "rec.wav",
     "600 baud, speed +0.0%, 200 bytes, 0 faults"},
    {"baud_1200_flac_48000_24_bit",
     {"-b1200", "-r48000", "-s24", "-L1"},
     "rec.flac",
     "1200 baud, speed +0.0%, 200 bytes, 0 faults"},
    {"baud_1200_aiff_11025_float",
     {"-b1200", "-r11025", "-sfloat", "-L1"},
     "rec.aiff",
     "1200 baud, speed +0.0%, 200 bytes, 0 faults"},
    {"baud_600_one_stop_square_96000",
     {"-b600", "-1", "-wsquare", "-r96000", "-L1"},
     "rec.wav",
     "600 baud, speed +0.0%, 200 bytes, 0 faults"},
    {"baud_300_pipe_22050_quiet",
     {"-r22050", "-a40", "-L1"},
     "",
     "300 baud, speed +0.0%, 200 bytes, 0 faults"},
};

class round_trip : public ::testing::TestWithParam<trip> {};

TEST_P(round_trip, gives_back_every_byte) {
    const trip& t = GetParam();
    scratch_dir dir;
    const std::string bytes = random_bytes(200, 7);
    std::vector<std::string> encode = t.encode;
    std::string file = t.file;
    if (!file.empty()) encode.insert(encode.end(), {"-o", file});
    program_result made = run_tape(encode, bytes, dir.path);
    ASSERT_EQ(made.status, 0) << made.err;
    program_result back =
        file.empty() ? run_tape({"-d"}, made.out, dir.path) : run_tape({"-d", file}, "", dir.path);
    EXPECT_EQ(back.status, 0);
    // A recording made exactly is read at its own speed, give or take two tenths
    // of a percent (a square wave's harmonics bend the tones' measured phase).
    std::string err = back.err;
    size_t speed = err.find("speed ");
    ASSERT_NE(speed, std::string::npos) << err;
    double percent = std::atof(err.c_str() + speed + 6);
    EXPECT_LE(std::abs(percent), 0.2) << err;
    err.replace(speed + 6, err.find('%', speed) - speed - 6, "+0.0");
    EXPECT_EQ(err, "korvane-tape: " + t.summary + "\n");
    EXPECT_TRUE(back.out == bytes) << back.out.size() << " bytes back";
}

INSTANTIATE_TEST_SUITE_P(recordings, round_trip, ::testing::ValuesIn(trips),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// 44100 samples per second at 300 baud: 147 samples, 294 bytes, a bit; a
// leader of 1 s is 300 bits, so byte k's start bit is bit 300 + 11k.
constexpr size_t bit_bytes = 2 * 147;
size_t bit_at(size_t bit) { return 44 + bit * bit_bytes; }

// Byte k's first stop bit sent as a 0: its start bit's samples over it.
void break_stop_bit(std::string& wav, size_t k) {
    size_t start = 300 + 11 * k;
    wav.replace(bit_at(start + 9), bit_bytes, wav.substr(bit_at(start), bit_bytes));
}

TEST(decoded_faults, are_reported_in_order_with_status_1_and_the_bytes_written) {
    const std::string bytes = random_bytes(60, 3);
    program_result made = run_tape({"-L", "1", "-T", "0.5"}, bytes);
    ASSERT_EQ(made.status, 0);
    std::string wav = made.out;
    break_stop_bit(wav, 10);
    // 50 ms of silence from byte 20's start bit: 15 bits, into byte 21.
    wav.replace(bit_at(300 + 220), 2 * 2205, std::string(2 * 2205, '\0'));
    program_result r = run_tape({"-d"}, wav);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "korvane-tape: 300 baud, speed +0.0%, 60 bytes, 2 faults\n"
              "korvane-tape: framing error at 1.367 s (byte 10)\n"  // bit 410
              "korvane-tape: dropout at 1.733 s (bytes 20-21)\n");  // bit 520
    ASSERT_EQ(r.out.size(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 20 || i == 21) continue;
        EXPECT_EQ(r.out[i], bytes[i]) << "byte " << i;
    }
    EXPECT_EQ(r.out[20], '\xFF');  // the bits the dropout took are 1s
}

TEST(decoded_bytes, that_cannot_be_written_fail_the_run) {
    scratch_dir dir;
    program_result made = run_tape({"-L", "1", "-o", "rec.wav"}, random_bytes(20, 5), dir.path);
    ASSERT_EQ(made.status, 0);
    program_result r = run_tape({"-d", "-f", "-o", "/dev/full", "rec.wav"}, "", dir.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "korvane-tape: /dev/full: No space left on device\n");
}

// A run that decodes nothing leaves no empty OUT of its own making behind.
TEST(failed_decoding, leaves_no_empty_output) {
    scratch_dir dir;
    program_result made = run_tape({"-r", "8000", "-o", "low.wav"}, random_bytes(4, 9), dir.path);
    ASSERT_EQ(made.status, 0);
    std::string low = read_file(dir.at("low.wav"));
    low.replace(24, 8, "\xA0\x0F\0\0\x40\x1F\0\0"s);  // 4000 samples, 8000 bytes a second
    write_file(dir.at("low.wav"), low);
    // A header naming 1.3 GHz, whose decimation filter alone would take hours to make.
    std::string fast = read_file(dir.at("low.wav"));
    fast.replace(24, 8, "\x00\x6D\x7C\x4D\x00\xDA\xF8\x9A"s);  // 1300000000 Hz, twice that in bytes
    write_file(dir.at("fast.wav"), fast);
    ASSERT_EQ(run_tape({"-L", "0", "-T", "0", "-o", "empty.wav"}, "", dir.path).status, 0);
    const std::pair<std::string, std::string> cases[] = {
        {"low.wav", "korvane-tape: low.wav is sampled at 4000 Hz; at least 8000 are needed\n"},
        {"empty.wav", "korvane-tape: no cassette signal found in empty.wav\n"},
        {"fast.wav", "korvane-tape: fast.wav cannot be decoded at 1300000000 Hz\n"},
    };
    for (const auto& [name, err] : cases) {
        program_result r = run_tape({"-d", "-o", "out.bin", name}, "", dir.path);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, err);
        EXPECT_FALSE(name_exists(dir.at("out.bin"))) << name;
    }
}

// A9 00 60 at $0400 as a QSave hybrid: the 735-byte loader section, a record
// of 9 bytes and a go record of 3, 747 bytes in all.
TEST(verify_recording, reports_the_audio_then_the_load_file) {
    scratch_dir dir;
    program_result hybrid = run_program({.args = {"-i", "-q", "-l0400", "-g0400"},
                                         .input = input_from::bytes,
                                         .input_data = "\xA9\x00\x60"s});
    ASSERT_EQ(hybrid.status, 0);
    ASSERT_EQ(hybrid.out.size(), 747u);
    program_result made = run_tape({"-L", "1", "-T", "0.5"}, hybrid.out);
    ASSERT_EQ(made.status, 0);
    std::string wav = made.out;
    write_file(dir.at("rec.wav"), wav);
    break_stop_bit(wav, 10);
    write_file(dir.at("bad.wav"), wav);
    auto verify = [&](std::vector<std::string> args) {
        return run_program(
            {.args = std::move(args), .directory = dir.path, .program = KORVANE_VERIFY_BINARY});
    };
    const std::string load_report =
        "format: hybrid (recognised)\n"
        "loader: QSave at $0300, entry $0300\n"
        "range: $0400-$0402 3 bytes\n"
        "records: 1\n"
        "go: $0400\n";

    program_result clean = verify({"rec.wav", "-o", "back.bin"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "audio: 300 baud, speed +0.0%, 747 bytes, 0 faults\n" + load_report +
                             "image: $0400-$0402 3 bytes to back.bin\n"
                             "faults: 0\n");
    EXPECT_EQ(read_file(dir.at("back.bin")), "\xA9\x00\x60"s);

    program_result bad = verify({"bad.wav"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "audio: 300 baud, speed +0.0%, 747 bytes, 1 fault\n" + load_report +
                           "fault at 1.367 s (byte 10): framing error\n"
                           "faults: 1\n");
}

}  // namespace
