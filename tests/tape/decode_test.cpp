// The decoder against recordings made by the encoder: clean at every bit
// rate, sample rate and stop bit count; spoilt as tapes are; with faults
// planted by hand at known bytes and times.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "signals.h"
#include "tape/recording.h"

namespace {

struct clean_case {
    int baud;
    int rate;
    int stop_bits;
};

void PrintTo(const clean_case& c, std::ostream* os) {
    *os << c.baud << " baud, " << c.rate << " Hz, " << c.stop_bits << " stop bits";
}

class clean_round_trip : public ::testing::TestWithParam<clean_case> {};

TEST_P(clean_round_trip, gives_back_every_byte_and_finds_the_bit_rate) {
    const clean_case c = GetParam();
    const tape_signal s = short_tape(c.rate, c.baud, c.stop_bits);
    std::vector<unsigned char> data = random_bytes(static_cast<size_t>(c.baud / 3), 17);
    data[5] = 0x00;  // NULs come through like any other byte
    data[6] = 0x00;
    decoded d = decode(render(s, data), c.rate);
    EXPECT_TRUE(d.result.signal);
    EXPECT_EQ(d.result.baud, c.baud);
    EXPECT_EQ(d.bytes, data);
    EXPECT_EQ(d.result.bytes, static_cast<int64_t>(data.size()));
    EXPECT_EQ(d.result.fault_count, 0);
    EXPECT_NEAR(d.result.speed, 0, 0.003);
}

std::vector<clean_case> clean_cases() {
    std::vector<clean_case> cases;
    for (int baud : {300, 600, 1200})
        for (int rate : {8000, 11025, 44100, 48000})
            for (int stop_bits : {1, 2}) cases.push_back({baud, rate, stop_bits});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(all, clean_round_trip, ::testing::ValuesIn(clean_cases()));

// Streams whose runs of one tone are all long: a decoder that takes the
// shortest run for a bit, or that prefers a faster rate whose lane frames
// them cleanly too (300 baud $FF read at 1200 baud frames as $F8), is wrong.
TEST(bit_rate, found_from_streams_of_one_byte_value) {
    for (int baud : {300, 600, 1200}) {
        for (unsigned char value :
             {static_cast<unsigned char>(0x00), static_cast<unsigned char>(0xFF)}) {
            const tape_signal s = short_tape(44100, baud);
            std::vector<unsigned char> data(static_cast<size_t>(baud / 10), value);
            decoded d = decode(render(s, data), s.rate);
            EXPECT_EQ(d.result.baud, baud) << "value " << int{value};
            EXPECT_EQ(d.bytes, data) << baud << " baud, value " << int{value};
        }
    }
}

struct leader_case {
    int baud;
    int rate;
    int leader_bits;
};

void PrintTo(const leader_case& c, std::ostream* os) {
    *os << c.baud << " baud, " << c.rate << " Hz, " << c.leader_bits << " bits of leader";
}

class short_leader : public ::testing::TestWithParam<leader_case> {};

// Bytes straight after a leader of a few bits, or of none (the recording
// starts with the first start bit): all come back, at the rate found, with
// none lost while the signal was being found. Behind less mark than the
// rest of a byte may hold (ten 1s), the first byte cannot be told from the
// rest of one begun before the recording: it is reported as a dropout.
// At 1200 baud the speed is found over the bytes' changing tones.
TEST_P(short_leader, loses_no_byte) {
    const leader_case c = GetParam();
    tape_signal s = short_tape(c.rate, c.baud);
    s.leader_seconds = static_cast<double>(c.leader_bits) / c.baud;
    const std::vector<unsigned char> data = random_bytes(static_cast<size_t>(c.baud / 4), 67);
    decoded d = decode(render(s, data), c.rate);
    EXPECT_TRUE(d.result.signal);
    EXPECT_EQ(d.result.baud, c.baud);
    EXPECT_EQ(d.bytes, data);
    if (c.leader_bits > 10) {
        EXPECT_EQ(d.result.fault_count, 0);
    } else {
        ASSERT_EQ(d.result.faults.size(), 1u);
        EXPECT_EQ(d.result.faults[0].kind, tape_fault_kind::dropout);
        EXPECT_EQ(d.result.faults[0].first, 0);
        EXPECT_EQ(d.result.faults[0].last, 0);
        EXPECT_NEAR(d.result.faults[0].seconds, s.leader_seconds, 0.001);
    }
}

INSTANTIATE_TEST_SUITE_P(all, short_leader,
                         ::testing::Values(leader_case{300, 44100, 0}, leader_case{600, 44100, 0},
                                           leader_case{1200, 44100, 0}, leader_case{1200, 8000, 0},
                                           leader_case{300, 44100, 6}, leader_case{1200, 44100, 12},
                                           leader_case{1200, 192000, 12}));

// Bytes of $55 with one stop bit change tone at every bit: behind 8 bits of
// leader at 1200 baud nothing but the leader tells the speed, and the odd
// pair of cycles that seems to hold one tone (at the $5B and $42 here) must
// not move it.
TEST(short_leader, before_a_tone_that_changes_every_bit) {
    tape_signal s = short_tape(73280, 1200, 1);
    s.leader_seconds = 8.0 / 1200;
    s.trailer_seconds = 2.0 / 1200;
    s.level_db = 5;
    std::vector<unsigned char> data(36, 0x55);
    data[0] = 0x5B;
    data[12] = 0x42;
    EXPECT_EQ(decode(render(s, data), s.rate, 1, {1200, channel_choice::cleanest}).bytes, data);
}

class begun_inside_a_byte : public ::testing::TestWithParam<leader_case> {};

// The recording begins `leader_bits` bits (here: sixteenths of a bit) into
// byte 0 of a stream: whatever the decoder makes of that byte's rest, and
// of the bytes it may frame out of step after it, lies in a dropout; every
// byte after that is exact.
TEST_P(begun_inside_a_byte, reports_what_it_cannot_trust) {
    const leader_case c = GetParam();
    tape_signal s = short_tape(c.rate, c.baud);
    s.leader_seconds = 0;
    const std::vector<unsigned char> data = random_bytes(60, 5);
    std::vector<float> x = render(s, data);
    x.erase(x.begin(), x.begin() + static_cast<long>(c.leader_bits * c.rate / (16 * c.baud)));
    decoded d = decode(x, c.rate);
    EXPECT_EQ(d.result.baud, c.baud);
    auto reported = [&](size_t i) {
        for (const tape_fault& f : d.result.faults)
            if (f.kind == tape_fault_kind::dropout && f.first <= static_cast<int64_t>(i) &&
                static_cast<int64_t>(i) <= f.last)
                return true;
        return false;
    };
    // Bytes 1 on in their places, behind what came of byte 0's rest, if anything.
    ASSERT_GE(d.bytes.size(), data.size() - 1);
    const size_t shift = d.bytes.size() - (data.size() - 1);
    ASSERT_LE(shift, 1u);
    EXPECT_TRUE(reported(0));
    for (size_t i = 1; i < data.size(); ++i) {
        if (d.bytes[i - 1 + shift] != data[i]) {
            EXPECT_TRUE(reported(i - 1 + shift)) << "byte " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(all, begun_inside_a_byte,
                         ::testing::Values(leader_case{300, 44100, 8}, leader_case{300, 44100, 88},
                                           leader_case{1200, 44100, 60},
                                           leader_case{1200, 11025, 83}));

struct spoilt_case {
    const char* name;
    std::function<std::vector<float>(const tape_signal&, const std::vector<unsigned char>&)> make;
    double speed = 0;  // the tape's speed to report, +0.1 for 10% fast
    int channels = 1;
};

void PrintTo(const spoilt_case& c, std::ostream* os) { *os << c.name; }

class spoilt_recording : public ::testing::TestWithParam<spoilt_case> {};

TEST_P(spoilt_recording, still_gives_back_every_byte) {
    const tape_signal s = short_tape(44100);
    const std::vector<unsigned char> data = random_bytes(150, 23);
    decoded d = decode(GetParam().make(s, data), s.rate, GetParam().channels);
    EXPECT_EQ(d.bytes, data);
    EXPECT_EQ(d.result.fault_count, 0);
    EXPECT_NEAR(d.result.speed, GetParam().speed, 0.003);
}

// A tape at `speed` times its nominal speed: recorded at rate / speed and
// played at rate.
std::vector<float> at_speed(const tape_signal& s, const std::vector<unsigned char>& data,
                            double speed) {
    tape_signal slow = s;
    slow.rate = static_cast<int>(std::lround(s.rate / speed));
    return render(slow, data);
}

// Speed swinging by 2% at 0.5 Hz and by 0.5% at 8 Hz, read from a recording
// made at eight times the rate.
std::vector<float> wow_and_flutter(const tape_signal& s, const std::vector<unsigned char>& data) {
    tape_signal fine = s;
    fine.rate = 8 * s.rate;
    const std::vector<float> src = render(fine, data);
    std::vector<float> out;
    double at = 0;
    for (size_t n = 0; at + 1 < static_cast<double>(src.size()); ++n) {
        double t = static_cast<double>(n) / s.rate;
        at += 8 * (1 + 0.02 * std::sin(std::numbers::pi * t) +
                   0.005 * std::sin(16 * std::numbers::pi * t));
        auto i = static_cast<size_t>(at);
        if (i + 1 >= src.size()) break;
        double f = at - static_cast<double>(i);
        out.push_back(static_cast<float>(src[i] + f * (src[i + 1] - src[i])));
    }
    return out;
}

const spoilt_case spoilt_cases[] = {
    {"10% fast", [](const tape_signal& s, const auto& d) { return at_speed(s, d, 1.10); }, 0.10},
    {"10% slow", [](const tape_signal& s, const auto& d) { return at_speed(s, d, 0.90); }, -0.10},
    // Far enough off that the slow mark leaks into the space's mixer.
    {"15% slow", [](const tape_signal& s, const auto& d) { return at_speed(s, d, 0.85); }, -0.15},
    {"wow and flutter", wow_and_flutter},
    {"white noise at 6 dB signal to noise",
     [](const tape_signal& s, const auto& d) {
         std::vector<float> x = render(s, d);
         add_noise(x, signal_rms(s) / 2, 3);
         return x;
     }},
    {"50 Hz hum as loud as the signal, a third of full scale of DC",
     [](const tape_signal& s, const auto& d) {
         std::vector<float> x = render(s, d);
         for (size_t n = 0; n < x.size(); ++n)
             x[n] += static_cast<float>(1.0 / 3 + 0.7 * std::sin(2 * std::numbers::pi * 50 *
                                                                 static_cast<double>(n) / s.rate));
         return x;
     }},
    {"40 dB down and inverted",
     [](const tape_signal& s, const auto& d) {
         std::vector<float> x = render(s, d);
         for (float& v : x) v *= -0.01f;
         return x;
     }},
    // The louder channel is noise: the cleaner one, not the louder, carries it.
    {"stereo, noise twice as loud on the left",
     [](const tape_signal& s, const auto& d) {
         std::vector<float> x = render(s, d);
         std::vector<float> noise(x.size(), 0.0f);
         add_noise(noise, 2 * signal_rms(s), 9);
         std::vector<float> both;
         for (size_t n = 0; n < x.size(); ++n) {
             both.push_back(noise[n]);
             both.push_back(x[n]);
         }
         return both;
     },
     0, 2},
};

INSTANTIATE_TEST_SUITE_P(all, spoilt_recording, ::testing::ValuesIn(spoilt_cases));

struct one_byte_case {
    int baud;
    unsigned char value;
};

void PrintTo(const one_byte_case& c, std::ostream* os) {
    *os << c.baud << " baud, $" << std::hex << int{c.value};
}

class one_byte : public ::testing::TestWithParam<one_byte_case> {};

// A recording of a single byte: its one clean frame is enough. A slower
// lane frames it too, but with a bit across two of the signal's ($00 at
// 1200 baud, 300 baud's bit 1 holds a 0 and three 1s), its start bit across
// two ($82), or a short space in the mark before its start bit ($0F, whose
// start bit alone comes before the run of 0s a 300 baud lane takes).
TEST_P(one_byte, is_read_at_its_own_rate) {
    const tape_signal s = short_tape(44100, GetParam().baud);
    const std::vector<unsigned char> data{GetParam().value};
    decoded d = decode(render(s, data), s.rate);
    EXPECT_EQ(d.result.baud, s.baud);
    EXPECT_EQ(d.bytes, data);
    EXPECT_EQ(d.result.fault_count, 0);
}

INSTANTIATE_TEST_SUITE_P(all, one_byte,
                         ::testing::Values(one_byte_case{300, 0x0F}, one_byte_case{600, 0x0F},
                                           one_byte_case{1200, 0x00}, one_byte_case{1200, 0x82},
                                           one_byte_case{1200, 0x0F}));

TEST(bit_rate, given_is_taken_as_it_is) {
    const tape_signal s = short_tape(48000, 600);
    const std::vector<unsigned char> data = random_bytes(30, 53);
    decoded d = decode(render(s, data), s.rate, 1, {600, channel_choice::cleanest});
    EXPECT_EQ(d.result.baud, 600);
    EXPECT_EQ(d.bytes, data);
}

TEST(channel_choice, reads_the_channel_asked_for) {
    const tape_signal s = short_tape(11025);
    const std::vector<unsigned char> data = random_bytes(40, 29);
    const std::vector<float> x = render(s, data);
    std::vector<float> right_only;  // the left channel silent
    for (float v : x) {
        right_only.push_back(0.0f);
        right_only.push_back(v);
    }
    decoded right = decode(right_only, s.rate, 2, {0, channel_choice::right});
    EXPECT_EQ(right.bytes, data);
    decoded left = decode(right_only, s.rate, 2, {0, channel_choice::left});
    EXPECT_FALSE(left.result.signal);
    EXPECT_TRUE(left.bytes.empty());
    decoded mix = decode(right_only, s.rate, 2, {0, channel_choice::mix});
    EXPECT_EQ(mix.bytes, data);
}

class planted_framing_error : public ::testing::TestWithParam<int> {};

// The first stop bit of byte 37 is a 0: the byte is still written as read
// and reported where it starts; with one stop bit the next start bit
// follows at once, with no rise to mark it, and must be taken on time.
TEST_P(planted_framing_error, is_reported_at_its_byte_and_time) {
    const tape_signal s = short_tape(22050, 300, GetParam());
    const std::vector<unsigned char> data = random_bytes(80, 31);
    std::vector<float> x = render(s, data);
    force_space(x, s, frame_bit(s, 37, 9));
    decoded d = decode(x, s.rate);
    EXPECT_EQ(d.bytes, data);
    ASSERT_EQ(d.result.faults.size(), 1u);
    const tape_fault& f = d.result.faults[0];
    EXPECT_EQ(f.kind, tape_fault_kind::framing);
    EXPECT_EQ(f.first, 37);
    EXPECT_EQ(f.last, 37);
    EXPECT_NEAR(f.seconds, bit_seconds(s, frame_bit(s, 37, 0)), 0.0005);
}

INSTANTIATE_TEST_SUITE_P(stop_bits, planted_framing_error, ::testing::Values(1, 2));

struct dropout_case {
    const char* name;
    double hiss;   // noise throughout, against the signal's RMS
    double whine;  // a steady 1100 Hz tone in the gap, against the signal's peak
};

void PrintTo(const dropout_case& c, std::ostream* os) { *os << c.name; }

class dropout : public ::testing::TestWithParam<dropout_case> {};

// The signal vanishes from the middle of byte 40 to the middle of byte 42:
// those three are reported, every other byte is exact and none is lost or
// invented. Into loud hiss the bits are not read as noise; a faint whine in
// the gap does not pull the clock.
TEST_P(dropout, names_the_bytes_it_spans_and_keeps_the_rest) {
    const tape_signal s = short_tape(44100);
    const std::vector<unsigned char> data = random_bytes(80, 37);
    std::vector<float> x = render(s, data);
    const size_t from = bit_sample(s, frame_bit(s, 40, 5));
    const size_t to = bit_sample(s, frame_bit(s, 42, 5));
    const double peak = std::pow(10.0, -s.level_db / 20);
    for (size_t n = from; n < to; ++n)
        x[n] = static_cast<float>(
            GetParam().whine * peak *
            std::sin(2 * std::numbers::pi * 1100 * static_cast<double>(n) / s.rate));
    add_noise(x, GetParam().hiss * signal_rms(s), 19);
    decoded d = decode(x, s.rate);
    ASSERT_EQ(d.bytes.size(), data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        if (i >= 40 && i <= 42) continue;
        EXPECT_EQ(d.bytes[i], data[i]) << "byte " << i;
    }
    ASSERT_EQ(d.result.faults.size(), 1u);
    const tape_fault& f = d.result.faults[0];
    EXPECT_EQ(f.kind, tape_fault_kind::dropout);
    EXPECT_EQ(f.first, 40);
    EXPECT_EQ(f.last, 42);
    EXPECT_NEAR(f.seconds, static_cast<double>(from) / s.rate, 0.002);
}

INSTANTIATE_TEST_SUITE_P(all, dropout,
                         ::testing::Values(dropout_case{"into silence", 0, 0},
                                           dropout_case{"into loud hiss", 1, 0},
                                           dropout_case{"into a faint whine", 0, 0.1}));

class long_pause : public ::testing::TestWithParam<double> {};

// The tape stopped for 0.6 s between bytes 30 and 31, in digital silence or
// in faint hiss: nothing is invented, nothing is reported.
TEST_P(long_pause, between_bytes_invents_nothing) {
    const tape_signal s = short_tape(44100);
    const std::vector<unsigned char> data = random_bytes(60, 41);
    std::vector<float> x = render(s, data);
    std::vector<float> gap(static_cast<size_t>(0.6 * s.rate), 0.0f);
    add_noise(gap, GetParam(), 13);
    x.insert(x.begin() + static_cast<long>(bit_sample(s, frame_bit(s, 31, 0))), gap.begin(),
             gap.end());
    decoded d = decode(x, s.rate);
    EXPECT_EQ(d.bytes, data);
    EXPECT_EQ(d.result.fault_count, 0);
}

INSTANTIATE_TEST_SUITE_P(silence_and_hiss, long_pause, ::testing::Values(0.0, 0.003));

class pause_in_a_byte : public ::testing::TestWithParam<int> {};

// The tape stopped for 1 s nine tenths into the start bit of byte 31 ($04)
// and came back where it stopped. Byte 31 is written with its missing bits
// as 1s ($FF) and reported where the silence began; the rest of its bits,
// framed from the 0s that follow the return (bits 2-8 and its first stop
// bit: $82), are a byte of their own, reported too; byte 32 on is exact.
TEST_P(pause_in_a_byte, reports_the_byte_it_cut_and_its_rest) {
    const tape_signal s = short_tape(44100, GetParam());
    std::vector<unsigned char> data = random_bytes(60, 71);
    data[30] = 0xE1;
    data[31] = 0x04;
    data[32] = 0x99;
    std::vector<float> x = render(s, data);
    const size_t cut =
        bit_sample(s, frame_bit(s, 31, 0)) + static_cast<size_t>(0.9 * s.rate / s.baud);
    x.insert(x.begin() + static_cast<long>(cut), static_cast<size_t>(s.rate), 0.0f);
    decoded d = decode(x, s.rate);
    std::vector<unsigned char> want(data.begin(), data.begin() + 31);
    want.push_back(0xFF);
    want.push_back(0x82);
    want.insert(want.end(), data.begin() + 32, data.end());
    EXPECT_EQ(d.bytes, want);
    ASSERT_EQ(d.result.faults.size(), 2u);
    const double at = static_cast<double>(cut) / s.rate;
    for (int i = 0; i < 2; ++i) {
        const tape_fault& f = d.result.faults[static_cast<size_t>(i)];
        EXPECT_EQ(f.kind, tape_fault_kind::dropout);
        EXPECT_EQ(f.first, 31 + i);
        EXPECT_EQ(f.last, 31 + i);
        EXPECT_NEAR(f.seconds, at + i, 0.002);
    }
}

INSTANTIATE_TEST_SUITE_P(bauds, pause_in_a_byte, ::testing::Values(300, 1200));

class cut_recording : public ::testing::TestWithParam<double> {};

// The recording ends inside byte 20, the parameter its bits (start bit 0)
// heard: the byte is written as far as it was heard and reported where the
// signal ends, not dropped.
TEST_P(cut_recording, keeps_and_reports_the_last_byte) {
    const tape_signal s = short_tape(44100);
    const std::vector<unsigned char> data = random_bytes(30, 43);
    std::vector<float> x = render(s, data);
    const double heard = GetParam();
    const int64_t whole = static_cast<int64_t>(heard);
    const size_t begin = bit_sample(s, frame_bit(s, 20, static_cast<int>(whole)));
    const size_t end = bit_sample(s, frame_bit(s, 20, static_cast<int>(whole) + 1));
    x.resize(begin + static_cast<size_t>((heard - static_cast<double>(whole)) *
                                         static_cast<double>(end - begin)));
    decoded d = decode(x, s.rate);
    ASSERT_EQ(d.bytes.size(), 21u);
    EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.begin() + 20, data.begin()));
    ASSERT_EQ(d.result.faults.size(), 1u);
    EXPECT_EQ(d.result.faults[0].kind, tape_fault_kind::dropout);
    EXPECT_EQ(d.result.faults[0].first, 20);
    EXPECT_EQ(d.result.faults[0].last, 20);
    EXPECT_NEAR(d.result.faults[0].seconds, static_cast<double>(x.size()) / s.rate, 0.002);
}

INSTANTIATE_TEST_SUITE_P(bits_heard, cut_recording, ::testing::Values(0.7, 5.0, 8.5));

class begun_in_a_dropout : public ::testing::TestWithParam<double> {};

// The signal vanishes from byte 20's stop bit over byte 21's start bit,
// comes back at its bit 3 and is gone from its bit 6: the recording ends
// there, or goes on in silence for the parameter's seconds. Byte 21, named
// by the dropout, is kept as far as it was heard, not forgotten as a byte
// begun in silence would be.
TEST_P(begun_in_a_dropout, is_kept_when_it_is_named) {
    const tape_signal s = short_tape(44100);
    const std::vector<unsigned char> data = random_bytes(30, 43);
    std::vector<float> x = render(s, data);
    std::fill(x.begin() + static_cast<long>(bit_sample(s, frame_bit(s, 20, 9))),
              x.begin() + static_cast<long>(bit_sample(s, frame_bit(s, 21, 3))), 0.0f);
    x.resize(bit_sample(s, frame_bit(s, 21, 6)) + static_cast<size_t>(GetParam() * s.rate));
    std::fill(x.begin() + static_cast<long>(bit_sample(s, frame_bit(s, 21, 6))), x.end(), 0.0f);
    decoded d = decode(x, s.rate);
    ASSERT_EQ(d.bytes.size(), 22u);
    EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.begin() + 20, data.begin()));
    ASSERT_GE(d.result.faults.size(), 1u);
    for (const tape_fault& f : d.result.faults) {
        EXPECT_GE(f.first, 20);
        EXPECT_LE(f.last, 21);
    }
}

INSTANTIATE_TEST_SUITE_P(then_the_end, begun_in_a_dropout, ::testing::Values(0.0, 0.5));

// After a pause the tape comes back 20 dB softer, behind a short leader.
TEST(long_pause, then_a_softer_tape_is_followed) {
    const tape_signal s = short_tape(44100);
    const std::vector<unsigned char> data = random_bytes(60, 59);
    std::vector<unsigned char> first(data.begin(), data.begin() + 30);
    std::vector<unsigned char> second(data.begin() + 30, data.end());
    std::vector<float> x = render(s, first);
    std::vector<float> rest = render(s, second);
    for (float& v : rest) v *= 0.1f;
    x.resize(x.size() + static_cast<size_t>(0.6 * s.rate), 0.0f);
    x.insert(x.end(), rest.begin(), rest.end());
    decoded d = decode(x, s.rate);
    EXPECT_EQ(d.bytes, data);
    EXPECT_EQ(d.result.fault_count, 0);
}

// Every byte's stop bit is a 0: all are written and counted, the first
// max_kept_faults are kept, in order.
TEST(faults, past_the_kept_ones_are_still_counted) {
    const tape_signal s = short_tape(8000, 1200);
    const std::vector<unsigned char> data = random_bytes(max_kept_faults + 10, 61);
    std::vector<float> x = render(s, data);
    for (int64_t i = 0; i < static_cast<int64_t>(data.size()); ++i)
        force_space(x, s, frame_bit(s, i, 9));
    decoded d = decode(x, s.rate, 1, {1200, channel_choice::cleanest});
    EXPECT_EQ(d.bytes, data);
    EXPECT_EQ(d.result.fault_count, static_cast<int64_t>(data.size()));
    ASSERT_EQ(d.result.faults.size(), max_kept_faults);
    for (size_t i = 0; i < max_kept_faults; ++i)
        EXPECT_EQ(d.result.faults[i].first, static_cast<int64_t>(i));
}

// Hum is as steady in phase as a tone, and noise holds energy at the tones:
// neither alone is a signal.
TEST(no_signal, in_silence_noise_or_hum_alone) {
    std::vector<float> silence(3 * 44100, 0.0f);
    std::vector<float> noise(silence);
    add_noise(noise, 0.3, 47);
    std::vector<float> hum(silence);
    for (size_t n = 0; n < hum.size(); ++n)
        hum[n] = static_cast<float>(
            0.5 * std::sin(2 * std::numbers::pi * 50 * static_cast<double>(n) / 44100));
    for (const std::vector<float>* x : {&silence, &noise, &hum}) {
        decoded d = decode(*x, 44100);
        EXPECT_FALSE(d.result.signal);
        EXPECT_TRUE(d.bytes.empty());
        EXPECT_EQ(d.result.fault_count, 0);
    }
}

// Leader and trailer with no byte between: a signal, but nothing tells its
// bit rate, and the summary says so rather than "0 baud".
TEST(no_bytes, leave_the_bit_rate_unknown) {
    const tape_signal s = short_tape(44100);
    decoded d = decode(render(s, {}), s.rate);
    EXPECT_TRUE(d.result.signal);
    EXPECT_EQ(decode_summary_text(d.result), "bit rate unknown, speed +0.0%, 0 bytes, 0 faults");
}

TEST(make_decoder, refuses_what_it_cannot_decode) {
    EXPECT_FALSE(make_decoder(7999, 1, {}));
    EXPECT_FALSE(make_decoder(768001, 1, {}));
    EXPECT_TRUE(make_decoder(768000, 1, {}));
    EXPECT_FALSE(make_decoder(44100, 3, {}));
    EXPECT_FALSE(make_decoder(44100, 1, {400, channel_choice::cleanest}));
    EXPECT_TRUE(make_decoder(8000, 2, {1200, channel_choice::mix}));
}

}  // namespace
