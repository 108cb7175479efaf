// The encoder's samples against the signal's rules, worked out by hand: the
// cycles of each bit, their phase, the framing; and the WAV it writes, on
// standard output and to files.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "front_runs.h"
#include "tape/kcs.h"

namespace {

// At 9600 samples per second one cycle of 1200 Hz takes 8 samples and one of
// 2400 Hz 4, each starting at phase 0 at the start of its bit.
constexpr double h = 0.70710678118654752;  // sin 45 degrees
const double space_sine[8] = {0, h, 1, h, 0, -h, -1, -h};
const double mark_sine[4] = {0, 1, 0, -1};
const double space_square[8] = {1, 1, 1, 1, -1, -1, -1, -1};
const double mark_square[4] = {1, 1, -1, -1};

// 0x35 = 0011 0101: start bit, then the data bits lowest first, then stops.
const std::vector<int> frame_35_two_stops = {0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 1};
const std::vector<int> frame_35_one_stop = {0, 1, 0, 1, 0, 1, 1, 0, 0, 1};

struct one_byte {
    const char* name;
    int baud;
    int stop_bits;
    double leader;   // seconds
    double trailer;  // seconds
    wave_shape shape;
    double level_db;
    double peak;            // the level as a factor
    std::vector<int> bits;  // the whole recording, leader and trailer included
};

void PrintTo(const one_byte& c, std::ostream* os) { *os << c.name; }

std::vector<int> with_line_at_rest(int before, const std::vector<int>& frame, int after) {
    std::vector<int> bits(static_cast<size_t>(before), 1);
    bits.insert(bits.end(), frame.begin(), frame.end());
    bits.insert(bits.end(), static_cast<size_t>(after), 1);
    return bits;
}

const one_byte one_byte_cases[] = {
    // 32 samples a bit: four cycles of 1200 Hz for a 0, eight of 2400 Hz for a 1.
    {"baud_300", 300, 2, 0, 0, wave_shape::sine, 0, 1, frame_35_two_stops},
    {"baud_600", 600, 2, 0, 0, wave_shape::sine, 0, 1, frame_35_two_stops},
    // 8 samples a bit: one cycle of 1200 Hz, or two of 2400 Hz.
    {"baud_1200", 1200, 2, 0, 0, wave_shape::sine, 0, 1, frame_35_two_stops},
    // 12 bits of leader (0.01 s) and 6 of trailer, one stop bit.
    {"leader_trailer_one_stop", 1200, 1, 0.01, 0.005, wave_shape::sine, 0, 1,
     with_line_at_rest(12, frame_35_one_stop, 6)},
    {"square_20_db_down", 600, 2, 0, 0, wave_shape::square, 20, 0.1, frame_35_two_stops},
};

class encoder_one_byte : public ::testing::TestWithParam<one_byte> {};

TEST_P(encoder_one_byte, makes_whole_cycles_from_phase_0_in_every_bit) {
    const one_byte& c = GetParam();
    tape_signal signal;
    signal.rate = 9600;
    signal.baud = c.baud;
    signal.stop_bits = c.stop_bits;
    signal.leader_seconds = c.leader;
    signal.trailer_seconds = c.trailer;
    signal.shape = c.shape;
    signal.level_db = c.level_db;
    const unsigned char byte = 0x35;
    kcs_encoder encoder;
    start_encoding(encoder, signal, &byte, 1);
    // Small blocks, so that bits run across them.
    std::vector<float> samples;
    float block[7];
    while (size_t made = encode_samples(encoder, block, 7))
        samples.insert(samples.end(), block, block + made);

    const size_t per_bit = static_cast<size_t>(9600 / c.baud);

    ASSERT_EQ(samples.size(), c.bits.size() * per_bit);
    const bool square = c.shape == wave_shape::square;
    const double* mark = square ? mark_square : mark_sine;
    const double* space = square ? space_square : space_sine;
    for (size_t n = 0; n < samples.size(); ++n) {
        size_t in_bit = n % per_bit;
        double expected = c.bits[n / per_bit] != 0 ? mark[in_bit % 4] : space[in_bit % 8];
        ASSERT_NEAR(samples[n], c.peak * expected, 1e-6) << "sample " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(rate_9600, encoder_one_byte, ::testing::ValuesIn(one_byte_cases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Where a bit does not hold a whole number of samples, each sample still
// lies on the tone of its own bit, at the phase its time into the bit gives.
TEST(encoder, keeps_the_phase_of_bits_that_start_between_samples) {
    const int rates[] = {8000, 44100};
    const int bauds[] = {300, 1200};
    const unsigned char bytes[] = {0x00, 0xFF, 0x5A, 0xC3};
    for (int rate : rates) {
        for (int baud : bauds) {
            tape_signal signal;
            signal.rate = rate;
            signal.baud = baud;
            signal.leader_seconds = 0.01;
            signal.trailer_seconds = 0;
            signal.level_db = 0;
            kcs_encoder encoder;
            start_encoding(encoder, signal, bytes, sizeof bytes);
            const int64_t leader = std::llround(0.01 * baud);
            std::vector<float> samples(static_cast<size_t>(tape_sample_count(signal, 4)) + 10);
            size_t made = encode_samples(encoder, samples.data(), samples.size());
            // The last sample lies in the last bit.
            ASSERT_EQ(made, static_cast<size_t>(((leader + 44) * rate + baud - 1) / baud));
            for (size_t n = 0; n < made; ++n) {
                int64_t bit = static_cast<int64_t>(n) * baud / rate;
                int64_t data_bit = bit - leader;
                int value = 1;
                if (data_bit >= 0) {
                    int64_t at = data_bit % 11;
                    value = at == 0 ? 0 : at > 8 ? 1 : bytes[data_bit / 11] >> (at - 1) & 1;
                }
                double t = static_cast<double>(n) / rate - static_cast<double>(bit) / baud;
                double expected = std::sin(2 * std::numbers::pi * (value != 0 ? 2400 : 1200) * t);
                ASSERT_NEAR(samples[n], expected, 1e-5)
                    << "rate " << rate << " baud " << baud << " sample " << n;
            }
        }
    }
}

struct header_case {
    const char* name;
    std::vector<std::string> args;
    std::string header;       // written out from the WAV rules
    size_t sample_bytes;      // what follows it, the pad byte included
    size_t at;                // a sample of the start bit
    std::string first_bytes;  // it and those after it
};

void PrintTo(const header_case& c, std::ostream* os) { *os << c.name; }

// 0x35 at 1200 baud, 9600 samples per second, full scale: 11 bits of 8
// samples, 88 in all.
const header_case header_cases[] = {
    {"pcm16",
     {"-r", "9600", "-b", "1200", "-a", "0", "-L", "0", "-T", "0"},
     "RIFF\xD4\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x25\0\0\x00\x4B\0\0\x02\0\x10\0data\xB0\0\0\0"s,
     176,
     0,
     // 0, 23170, 32767, 23170, 0, -23170, -32767, -23170
     "\0\0\x82\x5A\xFF\x7F\x82\x5A\0\0\x7E\xA5\x01\x80\x7E\xA5"s},
    {"pcm8_values_attached_options_after_in",
     {"in", "-r9600", "-b1200", "-a0", "-L0", "-T0", "-s8"},
     "RIFF\x7C\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x25\0\0\x80\x25\0\0\x01\0\x08\0data\x58\0\0\0"s,
     88,
     0,
     // 128 + 0, 90, 127, 90, 0, -90, -127, -90
     "\x80\xDA\xFF\xDA\x80\x26\x01\x26"s},
    {"pcm24",
     {"-r", "9600", "-b", "1200", "-a", "0", "-L", "0", "-T", "0", "-s", "24"},
     "RIFF\x2C\x01\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x25\0\0\x80\x70\0\0\x03\0\x18\0data\x08\x01\0\0"s,
     264,
     2,
     // 8388607 (sin 45 degrees is no exact float)
     "\xFF\xFF\x7F"s},
    {"float",
     {"-r", "9600", "-b", "1200", "-a", "0", "-L", "0", "-T", "0", "-s", "float"},
     "RIFF\x84\x01\0\0WAVEfmt \x10\0\0\0\x03\0\x01\0\x80\x25\0\0\x00\x96\0\0\x04\0\x20\0data\x60\x01\0\0"s,
     352,
     2,
     "\x00\x00\x80\x3F"s},  // 1.0f
    // 8000 samples per second: one stop bit makes 10 bits of 6 2/3 samples, 67
    // samples, so an odd data chunk with a pad byte after it.
    {"pcm8_odd_length_padded",
     {"-r", "8000", "-b", "1200", "-1", "-L", "0", "-T", "0", "-s", "8"},
     "RIFF\x68\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x40\x1F\0\0\x01\0\x08\0data\x43\0\0\0"s,
     68,
     0,
     "\x80"s},
};

class stdout_wav : public ::testing::TestWithParam<header_case> {};

TEST_P(stdout_wav, has_the_44_byte_header_and_its_samples) {
    const header_case& c = GetParam();
    scratch_dir dir;
    write_file(dir.at("in"), "\x35");
    std::vector<std::string> args = c.args;
    bool named = args.front() == "in";
    program_result r = named ? run_tape(args, "", dir.path) : run_tape(args, "\x35");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.size(), 44 + c.sample_bytes);
    EXPECT_EQ(r.out.substr(0, 44), c.header);
    const size_t width = little_endian(c.header, 32, 2);  // bytes per sample
    EXPECT_EQ(r.out.substr(44 + c.at * width, c.first_bytes.size()), c.first_bytes);
    if ((c.sample_bytes & 1) != 0) {
        EXPECT_EQ(r.out.back(), '\0');
    }
}

INSTANTIATE_TEST_SUITE_P(formats, stdout_wav, ::testing::ValuesIn(header_cases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The samples a file holds are those of standard output, in every sample
// format and container.
TEST(file_and_stdout, hold_the_same_samples) {
    struct file_case {
        const char* name;
        const char* format;
    };
    const file_case cases[] = {
        {"t.wav", "8"},   {"t.wav", "16"}, {"t.wav", "24"},  {"t.wav", "float"},  {"t.flac", "16"},
        {"t.flac", "24"}, {"t.aiff", "8"}, {"t.aiff", "16"}, {"t.aiff", "float"}, {"t.raw", "16"}};
    const std::string load = ";030300A90060010F\r\0\0\0\0\0\n$0300"s;
    for (const file_case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.format);
        scratch_dir dir;
        std::vector<std::string> args = {"-L", "0.1", "-T", "0.1", "-s", c.format, "-b", "600"};
        program_result piped = run_tape(args, load, dir.path);
        ASSERT_EQ(piped.status, 0) << piped.err;
        args.insert(args.end(), {"-o", c.name});
        program_result filed = run_tape(args, load, dir.path);
        ASSERT_EQ(filed.status, 0) << filed.err;
        EXPECT_EQ(filed.out, "");
        const std::string streamed = piped.out.substr(44, little_endian(piped.out, 40, 4));
        std::string file = read_file(dir.at(c.name));
        if (std::string(c.name).ends_with(".wav") || std::string(c.name).ends_with(".raw")) {
            EXPECT_EQ(file.compare(0, 4, "RIFF"), 0);
            EXPECT_EQ(wav_data_chunk(file), streamed);
            continue;
        }
        // Other containers keep the samples in their own way: compare values.
        SF_INFO info{};
        SNDFILE* f = sf_open(dir.at(c.name).c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK,
                  std::string(c.name).ends_with(".flac") ? SF_FORMAT_FLAC : SF_FORMAT_AIFF);
        const int bytes = little_endian(piped.out, 34, 2) / 8;
        const size_t count = streamed.size() / static_cast<size_t>(bytes);
        // (libsndfile pads an odd 8-bit AIFF with one more frame of its own.)
        ASSERT_GE(info.frames, static_cast<sf_count_t>(count));
        if (bytes == 4) {
            std::vector<float> values(count);
            sf_read_float(f, values.data(), static_cast<sf_count_t>(count));
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(values.data()), streamed.size()),
                      streamed);
        } else {
            std::vector<int> values(count);
            sf_read_int(f, values.data(), static_cast<sf_count_t>(count));
            for (size_t i = 0; i < count; ++i) {
                int expected =
                    bytes == 1 ? static_cast<unsigned char>(streamed[i]) - 128
                               : static_cast<int>(
                                     little_endian(streamed, i * static_cast<size_t>(bytes), bytes)
                                     << (32 - 8 * bytes)) >>
                                     (32 - 8 * bytes);
                ASSERT_EQ(values[i] >> (32 - 8 * bytes), expected) << "sample " << i;
            }
        }
        sf_close(f);
    }
}

}  // namespace
