// Recordings read back through the modem's reader: every common sample
// format, mono and stereo, from a file of which the start has already been
// read (as korvane-verify reads it) and from a pipe, which is copied aside
// first.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "support/run_program.h"
#include "tape/audio_file.h"

namespace {

struct format_case {
    const char* name;
    int format;
    int channels;
    double step;  // the format's resolution, full scale 1
};

const format_case formats[] = {
    {"wav_u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 1.0 / 64},
    {"wav_16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1.0 / 32768},
    {"wav_24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 1.0 / 32768},
    {"wav_32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 1, 1.0 / 32768},
    {"wav_float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 1.0 / 32768},
    {"wav_16_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 1.0 / 32768},
    {"flac_16", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 1.0 / 32768},
    {"aiff_24", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 2, 1.0 / 32768},
};

// A sample of every value's sign and size, different on the two channels.
short test_sample(size_t i) { return static_cast<short>((i * 7919) % 65536 - 32768); }

constexpr size_t frames = 50000;  // more than one of the reader's blocks

std::string make_recording(const format_case& c, const std::string& path) {
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = c.channels;
    info.format = c.format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) return sf_strerror(nullptr);
    std::vector<float> samples(frames * static_cast<size_t>(c.channels));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = test_sample(i) / 32768.0f;
    sf_writef_float(f, samples.data(), frames);
    sf_close(f);
    return {};
}

void expect_samples(audio_reader& reader, const format_case& c) {
    EXPECT_EQ(reader.rate, 22050);
    ASSERT_EQ(reader.channels, c.channels);
    std::vector<float> got;
    std::vector<float> block(4096 * static_cast<size_t>(c.channels));
    std::string error;
    for (;;) {
        long n = read_audio(reader, block.data(), 4096, error);
        ASSERT_GE(n, 0) << error;
        if (n == 0) break;
        got.insert(got.end(), block.begin(), block.begin() + n * c.channels);
    }
    ASSERT_EQ(got.size(), frames * static_cast<size_t>(c.channels));
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_NEAR(got[i], test_sample(i) / 32768.0, c.step) << "sample " << i;
    }
}

class reader_format : public ::testing::TestWithParam<format_case> {};

TEST_P(reader_format, reads_a_file_whose_head_was_read_already) {
    scratch_dir dir;
    std::string path = dir.at("rec");
    ASSERT_EQ(make_recording(GetParam(), path), "");
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    unsigned char head[12];
    ASSERT_EQ(::read(fd, head, sizeof head), 12);
    audio_reader reader;
    std::string error;
    ASSERT_EQ(open_audio_reader(reader, fd, head, sizeof head, error), audio_open::opened) << error;
    expect_samples(reader, GetParam());
    close_audio_reader(reader);
    ::close(fd);
}

TEST_P(reader_format, reads_a_pipe) {
    scratch_dir dir;
    std::string path = dir.at("rec");
    ASSERT_EQ(make_recording(GetParam(), path), "");
    std::string bytes = read_file(path);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    // The first bytes have been taken from the pipe by the caller.
    const std::string head = bytes.substr(0, 100);
    std::thread feeder([&] {
        size_t at = head.size();
        while (at < bytes.size()) {
            ssize_t done = ::write(ends[1], bytes.data() + at, bytes.size() - at);
            if (done <= 0) break;
            at += static_cast<size_t>(done);
        }
        ::close(ends[1]);
    });
    audio_reader reader;
    std::string error;
    audio_open opened = open_audio_reader(
        reader, ends[0], reinterpret_cast<const unsigned char*>(head.data()), head.size(), error);
    feeder.join();
    ::close(ends[0]);
    ASSERT_EQ(opened, audio_open::opened) << error;
    EXPECT_TRUE(reader.own_fd);
    expect_samples(reader, GetParam());
    close_audio_reader(reader);
}

INSTANTIATE_TEST_SUITE_P(formats, reader_format, ::testing::ValuesIn(formats),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
