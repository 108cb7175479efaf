// The decoder in white noise over the whole band, near the limit an ideal
// detector of the two tones sets: a checksum load file, whose bytes follow
// back to back with runs of hex digits that frame out of step as easily as
// in, behind a leader in which the faster lanes frame noise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "signals.h"

namespace {

// Records of 24 bytes as the checksum format writes them: ";", count,
// address, data and sum in hex, CR, five NULs, LF; then the go record.
std::vector<unsigned char> checksum_text(size_t data_bytes, unsigned seed) {
    const std::vector<unsigned char> data = random_bytes(data_bytes, seed);
    const char* digits = "0123456789ABCDEF";
    std::vector<unsigned char> out;
    auto hex = [&](unsigned v) {
        out.push_back(static_cast<unsigned char>(digits[v >> 4 & 15]));
        out.push_back(static_cast<unsigned char>(digits[v & 15]));
    };
    unsigned address = 0x0400;
    for (size_t at = 0; at < data.size(); at += 24) {
        const size_t count = std::min<size_t>(24, data.size() - at);
        unsigned sum = static_cast<unsigned>(count) + (address >> 8) + (address & 0xFF);
        out.push_back(';');
        hex(static_cast<unsigned>(count));
        hex(address >> 8);
        hex(address & 0xFF);
        for (size_t i = 0; i < count; ++i) {
            sum += data[at + i];
            hex(data[at + i]);
        }
        hex(sum >> 8 & 0xFF);
        hex(sum & 0xFF);
        out.push_back('\r');
        out.insert(out.end(), 5, 0);
        out.push_back('\n');
        address += static_cast<unsigned>(count);
    }
    out.push_back('$');
    hex(0x04);
    hex(0x00);
    return out;
}

// The recording of `text` with white noise at `snr_db` below the signal's
// power, over the whole band of its 44100 samples per second.
std::vector<float> noisy_recording(const tape_signal& s, const std::vector<unsigned char>& text,
                                   double snr_db, unsigned seed) {
    std::vector<float> x = render(s, text);
    add_noise(x, signal_rms(s) * std::pow(10.0, -snr_db / 20), seed);
    return x;
}

// Changes, insertions and deletions that turn a into b.
int64_t edits(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    std::vector<int64_t> prev(b.size() + 1), row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) prev[j] = static_cast<int64_t>(j);
    for (size_t i = 1; i <= a.size(); ++i) {
        row[0] = static_cast<int64_t>(i);
        for (size_t j = 1; j <= b.size(); ++j)
            row[j] = std::min({prev[j] + 1, row[j - 1] + 1, prev[j - 1] + (a[i - 1] != b[j - 1])});
        std::swap(prev, row);
    }
    return prev[b.size()];
}

tape_signal leader_of_a_second(int baud) {
    tape_signal s = short_tape(44100, baud);
    s.leader_seconds = 1;
    return s;
}

struct limit_case {
    int baud;
    double snr_db;  // 1 dB above where an ideal detector errs once in some 22,000 bits
};

void PrintTo(const limit_case& c, std::ostream* os) {
    *os << c.baud << " baud, " << c.snr_db << " dB";
}

class near_the_noise_limit : public ::testing::TestWithParam<limit_case> {};

// Where every bit carries 13.7 dB of Eb/N0 (300 baud at -5 dB, 600 baud at
// -2 dB, 1200 baud at +1 dB) the bit rate is found and every byte comes
// back, with no fault.
TEST_P(near_the_noise_limit, decodes_clean) {
    const limit_case c = GetParam();
    const tape_signal s = leader_of_a_second(c.baud);
    const std::vector<unsigned char> text = checksum_text(200, 83);
    decoded d = decode(noisy_recording(s, text, c.snr_db, 19), s.rate);
    EXPECT_EQ(d.result.baud, c.baud);
    EXPECT_EQ(edits(text, d.bytes), 0);
    EXPECT_EQ(d.result.fault_count, 0);
}

INSTANTIATE_TEST_SUITE_P(bauds, near_the_noise_limit,
                         ::testing::Values(limit_case{300, -5}, limit_case{600, -2},
                                           limit_case{1200, 1}));

// 3 dB beyond the limit a bit errs once in some 700: bytes go wrong, a few
// in a hundred, but the decoder keeps the bit rate and its step with the
// bytes, and does not lose them wholesale.
TEST(beyond_the_noise_limit, bytes_wrong_stay_few) {
    const tape_signal s = leader_of_a_second(300);
    const std::vector<unsigned char> text = checksum_text(200, 89);
    decoded d = decode(noisy_recording(s, text, -8, 23), s.rate);
    EXPECT_EQ(d.result.baud, 300);
    EXPECT_LT(edits(text, d.bytes), static_cast<int64_t>(text.size() / 10));
}

}  // namespace
