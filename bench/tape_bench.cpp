// Robustness and speed of the cassette decoder. Encodes a random stream,
// degrades the audio the ways real tapes and sound cards do, decodes it and
// counts the bytes wrong after aligning what came back with what was sent
// (a lost or an invented byte counts as one), with the faults reported.
//
//   tape_bench [--bytes N] [--only NAME] [--speed-minutes M] [--no-speed]
//              [--noise-sweep]
//
// Signal-to-noise ratios are the signal's power over the noise's, both over
// the whole band the recording's sample rate holds (white noise up to half
// the rate): at 44100 Hz a 300 baud bit sees Eb/N0 = SNR + 18.7 dB, a 600
// baud bit 15.7 dB and a 1200 baud bit 12.6 dB above the SNR.
//
// Exit status: 0 when every required case decodes as it must, 3 when one
// does not.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tape/kcs.h"
#include "tape/kcs_decode.h"

namespace {

constexpr double pi = std::numbers::pi;

struct audio {
    int rate = 44100;
    int channels = 1;
    std::vector<double> samples;  // interleaved
};

// What a case must give back.
enum class expect {
    clean,            // every byte, no fault
    within_dropouts,  // wrong bytes only inside the reported dropouts
    within_faults,    // wrong bytes only at reported faults, none lost or invented
};

// What a case sends: the random stream, or a checksum load file.
enum class stream { random, checksum };

struct bench_case {
    const char* name;
    bool required;
    std::function<audio(const std::vector<unsigned char>&)> make;
    expect must = expect::clean;
    stream sends = stream::random;
};

tape_signal base_signal(int rate, int baud = 300) {
    tape_signal s;
    s.rate = rate;
    s.baud = baud;
    s.leader_seconds = 2;
    s.trailer_seconds = 1;
    return s;
}

audio render(const tape_signal& signal, const std::vector<unsigned char>& data) {
    kcs_encoder encoder;
    start_encoding(encoder, signal, data.data(), data.size());
    std::vector<float> block(65536);
    audio out;
    out.rate = signal.rate;
    out.samples.reserve(static_cast<size_t>(tape_sample_count(signal, data.size())));
    for (;;) {
        size_t made = encode_samples(encoder, block.data(), block.size());
        if (made == 0) break;
        out.samples.insert(out.samples.end(), block.begin(),
                           block.begin() + static_cast<long>(made));
    }
    return out;
}

double power(const audio& a) {
    double sum = 0;
    for (double x : a.samples) sum += x * x;
    return a.samples.empty() ? 0 : sum / static_cast<double>(a.samples.size());
}

void add_noise(audio& a, double snr_db, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0, std::sqrt(power(a) / std::pow(10, snr_db / 10)));
    for (double& x : a.samples) x += gauss(rng);
}

// Windowed-sinc resampling (Blackman window, 32 zero crossings a side).
audio resample(const audio& in, int rate) {
    audio out;
    out.rate = rate;
    out.channels = in.channels;
    const double ratio = static_cast<double>(rate) / in.rate;
    const double cutoff = std::min(1.0, ratio) * 0.95;  // of the input's Nyquist
    const int half = static_cast<int>(std::ceil(32 / cutoff));
    const int64_t frames_in = static_cast<int64_t>(in.samples.size()) / in.channels;
    const int64_t frames_out =
        static_cast<int64_t>(std::floor(static_cast<double>(frames_in) * ratio));
    out.samples.assign(static_cast<size_t>(frames_out * in.channels), 0.0);
    for (int64_t m = 0; m < frames_out; ++m) {
        double centre = static_cast<double>(m) / ratio;
        int64_t first = static_cast<int64_t>(std::floor(centre)) - half + 1;
        for (int c = 0; c < in.channels; ++c) {
            double sum = 0;
            for (int64_t k = first; k < first + 2 * half; ++k) {
                if (k < 0 || k >= frames_in) continue;
                double t = static_cast<double>(k) - centre;
                double x = t * cutoff;
                double sinc = std::abs(x) < 1e-12 ? 1 : std::sin(pi * x) / (pi * x);
                double w =
                    0.42 + 0.5 * std::cos(pi * t / half) + 0.08 * std::cos(2 * pi * t / half);
                sum += in.samples[static_cast<size_t>(k * in.channels + c)] * cutoff * sinc * w;
            }
            out.samples[static_cast<size_t>(m * in.channels + c)] = sum;
        }
    }
    return out;
}

// Plays a recording made at `over` times the rate back at a speed that
// swings: 1 + wow sin(2 pi wow_hz t) + flutter sin(2 pi flutter_hz t).
audio wobble(const tape_signal& signal, const std::vector<unsigned char>& data, int over,
             double wow, double wow_hz, double flutter, double flutter_hz) {
    tape_signal fine = signal;
    fine.rate = signal.rate * over;
    audio src = render(fine, data);
    audio out;
    out.rate = signal.rate;
    double at = 0;
    const double step = static_cast<double>(over);
    const auto n = static_cast<double>(src.samples.size());
    for (int64_t m = 0;; ++m) {
        double t = static_cast<double>(m) / signal.rate;
        double speed =
            1 + wow * std::sin(2 * pi * wow_hz * t) + flutter * std::sin(2 * pi * flutter_hz * t);
        at += speed * step;
        if (at + 2 >= n) break;
        // Cubic (Catmull-Rom) between the oversampled points.
        auto i = static_cast<size_t>(at);
        double f = at - static_cast<double>(i);
        double p0 = i > 0 ? src.samples[i - 1] : src.samples[i];
        double p1 = src.samples[i];
        double p2 = src.samples[i + 1];
        double p3 = src.samples[i + 2];
        out.samples.push_back(
            p1 +
            0.5 * f *
                (p2 - p0 + f * (2 * p0 - 5 * p1 + 4 * p2 - p3 + f * (3 * (p1 - p2) + p3 - p0))));
    }
    return out;
}

struct biquad {
    double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
    double run(double x) {
        double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

biquad make_biquad(bool high, double hz, double q, double rate) {
    double w0 = 2 * pi * hz / rate;
    double alpha = std::sin(w0) / (2 * q);
    double c = std::cos(w0);
    double a0 = 1 + alpha;
    if (high)
        return {(1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
    return {(1 - c) / 2 / a0, (1 - c) / a0, (1 - c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
}

// Fourth-order Butterworth high-pass at low_hz and low-pass at high_hz.
void band_limit(audio& a, double low_hz, double high_hz) {
    const double q1 = 0.5411961, q2 = 1.3065630;
    biquad f[4] = {make_biquad(true, low_hz, q1, a.rate), make_biquad(true, low_hz, q2, a.rate),
                   make_biquad(false, high_hz, q1, a.rate),
                   make_biquad(false, high_hz, q2, a.rate)};
    for (double& x : a.samples)
        for (biquad& b : f) x = b.run(x);
}

void quantise(audio& a, int bits) {
    double full = std::ldexp(1.0, bits - 1);
    for (double& x : a.samples) x = std::clamp(std::round(x * full), -full, full - 1) / full;
}

audio stereo(const audio& signal, bool signal_left, unsigned seed) {
    audio out;
    out.rate = signal.rate;
    out.channels = 2;
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0, std::sqrt(power(signal)));
    for (double x : signal.samples) {
        double n = gauss(rng);
        out.samples.push_back(signal_left ? x : n);
        out.samples.push_back(signal_left ? n : x);
    }
    return out;
}

int64_t data_start_sample(const tape_signal& s) {
    return layout_tape(s, 0).leader_bits * s.rate / s.baud;
}

struct outcome {
    std::vector<unsigned char> bytes;
    decode_result result;
};

outcome decode(const audio& a, const decode_options& options = {}) {
    outcome o;
    auto decoder = make_decoder(a.rate, a.channels, options);
    if (!decoder) return o;
    std::vector<float> block;
    const size_t frames_per_block = 4096;
    const size_t total = a.samples.size() / static_cast<size_t>(a.channels);
    for (size_t at = 0; at < total; at += frames_per_block) {
        size_t frames = std::min(frames_per_block, total - at);
        block.resize(frames * static_cast<size_t>(a.channels));
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<float>(a.samples[at * static_cast<size_t>(a.channels) + i]);
        decode_samples(*decoder, block.data(), frames, o.bytes);
    }
    finish_decoding(*decoder, o.bytes, o.result);
    return o;
}

// Edits (changes, insertions, deletions) that turn a into b.
int64_t edit_distance(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    if (a == b) return 0;
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

std::string describe_faults(const decode_result& r) {
    int framing = 0;
    std::string dropouts;
    for (const tape_fault& f : r.faults) {
        if (f.kind == tape_fault_kind::framing) {
            ++framing;
        } else {
            char text[64];
            std::snprintf(text, sizeof text, " dropout %.3fs %lld-%lld", f.seconds,
                          static_cast<long long>(f.first), static_cast<long long>(f.last));
            dropouts += text;
        }
    }
    std::string s = std::to_string(r.fault_count) + " (" + std::to_string(framing) + " framing)";
    return s + dropouts;
}

// Every wrong byte inside a reported fault (a dropout only, or any), no
// byte lost or invented.
bool wrong_only_in_faults(const std::vector<unsigned char>& sent, const outcome& o,
                          bool dropouts_only) {
    if (o.bytes.size() != sent.size()) return false;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == o.bytes[i]) continue;
        bool covered = false;
        for (const tape_fault& f : o.result.faults)
            if ((f.kind == tape_fault_kind::dropout || !dropouts_only) &&
                static_cast<int64_t>(i) >= f.first && static_cast<int64_t>(i) <= f.last)
                covered = true;
        if (!covered) return false;
    }
    return true;
}

// A checksum load file as korvane writes it: 500 bytes at $0400 in records
// of 24 (";", count, address, data and sum in hex, CR, five NULs, LF) and the
// go record "$0400", 1383 bytes in all.
std::vector<unsigned char> checksum_file() {
    std::mt19937 rng(1383);
    std::vector<unsigned char> out;
    const char* digits = "0123456789ABCDEF";
    auto hex = [&](unsigned v) {
        out.push_back(static_cast<unsigned char>(digits[v >> 4 & 15]));
        out.push_back(static_cast<unsigned char>(digits[v & 15]));
    };
    unsigned address = 0x0400;
    for (unsigned left = 500; left > 0;) {
        unsigned count = std::min(left, 24u);
        unsigned sum = count + (address >> 8) + (address & 0xFF);
        out.push_back(';');
        hex(count);
        hex(address >> 8);
        hex(address & 0xFF);
        for (unsigned i = 0; i < count; ++i) {
            unsigned b = rng() & 0xFF;
            sum += b;
            hex(b);
        }
        hex(sum >> 8 & 0xFF);
        hex(sum & 0xFF);
        out.push_back('\r');
        out.insert(out.end(), 5, 0);
        out.push_back('\n');
        address += count;
        left -= count;
    }
    out.push_back('$');
    hex(0x04);
    hex(0x00);
    return out;
}

bool as_expected(expect must, const std::vector<unsigned char>& sent, const outcome& o,
                 int64_t wrong) {
    switch (must) {
        case expect::clean: return wrong == 0 && o.result.fault_count == 0;
        case expect::within_dropouts: return wrong_only_in_faults(sent, o, true);
        case expect::within_faults: return wrong_only_in_faults(sent, o, false);
    }
    return false;
}

std::vector<bench_case> all_cases() {
    std::vector<bench_case> cases;
    auto plain = [](int rate, int baud = 300) {
        return [rate, baud](const std::vector<unsigned char>& d) {
            return render(base_signal(rate, baud), d);
        };
    };
    // A tape at `speed` times its nominal one: recorded at 44100 / speed.
    auto fast = [](double speed) {
        return [speed](const std::vector<unsigned char>& d) {
            tape_signal s = base_signal(static_cast<int>(std::lround(44100 / speed)));
            audio a = render(s, d);
            a.rate = 44100;
            return a;
        };
    };
    auto noisy = [](double snr, int baud = 300) {
        return [snr, baud](const std::vector<unsigned char>& d) {
            audio a = render(base_signal(44100, baud), d);
            add_noise(a, snr, 7);
            return a;
        };
    };
    auto hum = [](double ratio) {
        return [ratio](const std::vector<unsigned char>& d) {
            audio a = render(base_signal(44100), d);
            double amplitude = std::sqrt(2 * power(a)) * ratio;
            for (size_t i = 0; i < a.samples.size(); ++i)
                a.samples[i] +=
                    amplitude * std::sin(2 * pi * 50 * static_cast<double>(i) / a.rate + 0.3);
            return a;
        };
    };
    auto mapped = [](std::function<double(double)> f) {
        return [f](const std::vector<unsigned char>& d) {
            audio a = render(base_signal(44100), d);
            for (double& x : a.samples) x = f(x);
            return a;
        };
    };
    auto resampled = [](int rate) {
        return [rate](const std::vector<unsigned char>& d) {
            return resample(render(base_signal(44100), d), rate);
        };
    };
    auto quantised = [](int bits) {
        return [bits](const std::vector<unsigned char>& d) {
            audio a = render(base_signal(44100), d);
            if (bits == 32)
                for (double& x : a.samples) x = static_cast<float>(x);
            else
                quantise(a, bits);
            return a;
        };
    };
    auto wobbly = [](double wow, double flutter) {
        return [wow, flutter](const std::vector<unsigned char>& d) {
            return wobble(base_signal(44100), d, 4, wow, 0.5, flutter, 8);
        };
    };
    auto band = [](const std::vector<unsigned char>& d) {
        audio a = render(base_signal(44100), d);
        band_limit(a, 300, 3400);
        return a;
    };
    auto two_channels = [](bool left) {
        return [left](const std::vector<unsigned char>& d) {
            return stereo(render(base_signal(44100), d), left, 11);
        };
    };
    auto dropout = [](double ms) {
        return [ms](const std::vector<unsigned char>& d) {
            tape_signal s = base_signal(44100);
            audio a = render(s, d);
            int64_t data = static_cast<int64_t>(a.samples.size()) - data_start_sample(s);
            int64_t at = data_start_sample(s) + data * 2 / 5;
            int64_t length = static_cast<int64_t>(ms / 1000 * a.rate);
            for (int64_t i = at; i < at + length; ++i) a.samples[static_cast<size_t>(i)] = 0;
            return a;
        };
    };

    cases.push_back({"clean, 44100 Hz", true, plain(44100)});
    cases.push_back({"speed 10% fast", true, fast(1.10)});
    cases.push_back({"speed 10% slow", true, fast(0.90)});
    cases.push_back({"wow 2% 0.5 Hz + flutter 0.5% 8 Hz", true, wobbly(0.02, 0.005)});
    cases.push_back({"white noise, 6 dB SNR", true, noisy(6)});
    cases.push_back({"50 Hz hum as loud as the signal", true, hum(1)});
    cases.push_back({"DC offset +1/3", true, mapped([](double x) { return x + 1.0 / 3; })});
    cases.push_back({"inverted polarity", true, mapped([](double x) { return -x; })});
    cases.push_back({"level 40 dB down", true, mapped([](double x) { return x * 0.01; })});
    cases.push_back({"20 dB too loud, clipped", true,
                     mapped([](double x) { return std::clamp(x * 10, -1.0, 1.0); })});
    cases.push_back({"band-limited 300-3400 Hz", true, band});
    for (int rate : {8000, 11025, 22050, 48000, 96000}) {
        static std::vector<std::string> names;
        names.push_back("resampled to " + std::to_string(rate) + " Hz");
        cases.push_back({names.back().c_str(), true, resampled(rate)});
    }
    cases.push_back({"8-bit samples", true, quantised(8)});
    cases.push_back({"24-bit samples", true, quantised(24)});
    cases.push_back({"float samples", true, quantised(32)});
    cases.push_back({"stereo: signal right, noise left", true, two_channels(false)});
    cases.push_back({"stereo: signal left, noise right", true, two_channels(true)});
    cases.push_back({"50 ms dropout", true, dropout(50), expect::within_dropouts});

    cases.push_back({"margin: speed 15% fast", false, fast(1.15)});
    cases.push_back({"margin: speed 15% slow", false, fast(0.85)});
    cases.push_back({"margin: wow 4% + flutter 1%", false, wobbly(0.04, 0.01)});
    cases.push_back({"margin: white noise, 3 dB SNR", false, noisy(3)});
    cases.push_back({"margin: white noise, 0 dB SNR", false, noisy(0)});
    cases.push_back({"margin: white noise, -3 dB SNR", false, noisy(-3)});
    cases.push_back({"margin: wow 6% + flutter 1.5%", false, wobbly(0.06, 0.015)});
    cases.push_back({"margin: 50 Hz hum 3x the signal", false, hum(3)});
    cases.push_back({"margin: 150 ms dropout", false, dropout(150), expect::within_dropouts});
    cases.push_back({"margin: 600 baud", false, plain(44100, 600)});
    cases.push_back({"margin: 1200 baud", false, plain(44100, 1200)});
    cases.push_back({"margin: 1200 baud, 8000 Hz", false, plain(8000, 1200)});
    cases.push_back({"margin: 600 baud, 6 dB SNR", false, noisy(6, 600)});
    cases.push_back({"margin: 1200 baud, 10 dB SNR", false, noisy(10, 1200)});
    cases.push_back({"margin: 1200 baud, 6 dB SNR", false, noisy(6, 1200)});
    cases.push_back(
        {"margin: square wave, 1 stop bit", false, [](const std::vector<unsigned char>& d) {
             tape_signal s = base_signal(44100);
             s.shape = wave_shape::square;
             s.stop_bits = 1;
             return render(s, d);
         }});

    // Down to the noise limit, on a checksum load file: clean where an ideal
    // detector of the two tones would make an error in some 250,000 bits
    // (-5 dB at 300 baud), and at 1 dB less every wrong byte at a fault.
    for (int baud : {300, 600, 1200}) {
        const double offset = baud == 300 ? 0 : baud == 600 ? 3 : 6;
        for (double snr : {0.0, -3.0, -5.0, -6.0}) {
            static std::vector<std::string> names;
            char name[64];
            std::snprintf(name, sizeof name, "noise %g dB, %d baud, checksum file", snr + offset,
                          baud);
            names.push_back(name);
            cases.push_back({names.back().c_str(), true, noisy(snr + offset, baud),
                             snr > -6 ? expect::clean : expect::within_faults, stream::checksum});
        }
    }
    return cases;
}

// The checksum file in white noise from above the limit to far below it, at
// each bit rate, with three noise seeds.
void noise_sweep() {
    const std::vector<unsigned char> sent = checksum_file();
    std::printf(
        "\nThe checksum file (%zu bytes) in white noise, 44100 Hz: bytes wrong and "
        "faults for three noise seeds; * marks a wrong byte at no fault\n",
        sent.size());
    for (int baud : {300, 600, 1200}) {
        const int offset = baud == 300 ? 0 : baud == 600 ? 3 : 6;
        std::printf("\n%d baud\n%6s  %s\n", baud, "SNR", "wrong/faults per seed");
        for (int snr = 3 + offset; snr >= -14 + offset; --snr) {
            std::printf("%+4d dB ", snr);
            for (unsigned seed : {7u, 8u, 9u}) {
                audio a = render(base_signal(44100, baud), sent);
                add_noise(a, snr, seed);
                outcome o = decode(a);
                int64_t wrong = edit_distance(sent, o.bytes);
                bool covered = wrong_only_in_faults(sent, o, false);
                std::printf(" %5lld/%-5lld%s", static_cast<long long>(wrong),
                            static_cast<long long>(o.result.fault_count), covered ? " " : "*");
                if (o.result.baud != baud) std::printf("(%d baud)", o.result.baud);
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
}

// Decodes `minutes` of a 16-bit mono recording at 44100 per second made on the
// fly, timing the decoder alone.
void measure_speed(double minutes) {
    tape_signal s = base_signal(44100);
    const size_t bytes = static_cast<size_t>(minutes * 60 * 300 / 11);
    std::vector<unsigned char> data(bytes);
    std::mt19937 rng(3);
    for (unsigned char& b : data) b = static_cast<unsigned char>(rng());
    double best = 1e30;
    int64_t samples = 0;
    for (int round = 0; round < 3; ++round) {
        kcs_encoder encoder;
        start_encoding(encoder, s, data.data(), data.size());
        auto decoder = make_decoder(s.rate, 1, {});
        std::vector<float> block(4096);
        std::vector<unsigned char> out;
        double spent = 0;
        samples = 0;
        int64_t decoded = 0;
        for (;;) {
            size_t made = encode_samples(encoder, block.data(), block.size());
            if (made == 0) break;
            for (size_t i = 0; i < made; ++i)
                block[i] = static_cast<float>(std::lround(block[i] * 32767.0)) / 32768.0f;
            auto t0 = std::chrono::steady_clock::now();
            decode_samples(*decoder, block.data(), made, out);
            spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            samples += static_cast<int64_t>(made);
            decoded += static_cast<int64_t>(out.size());
            out.clear();
        }
        decode_result r;
        finish_decoding(*decoder, out, r);
        decoded += static_cast<int64_t>(out.size());
        if (decoded != static_cast<int64_t>(data.size()))
            std::printf("speed run: %lld of %zu bytes decoded\n", static_cast<long long>(decoded),
                        data.size());
        best = std::min(best, spent);
    }
    double ns = best / static_cast<double>(samples) * 1e9;
    std::printf("\nDecoder speed: %.1f minutes of 16-bit mono audio at 44100 Hz, best of 3\n",
                minutes);
    std::printf("  %.2f ns per sample, %.0fx real time (%.3f s for 44 minutes)\n", ns,
                1e9 / (ns * 44100), ns * 44 * 60 * 44100 / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
    size_t bytes = 4096;
    std::string only;
    double speed_minutes = 10;
    bool sweep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--bytes") && i + 1 < argc)
            bytes = static_cast<size_t>(std::atol(argv[++i]));
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else if (!std::strcmp(argv[i], "--speed-minutes") && i + 1 < argc)
            speed_minutes = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-speed"))
            speed_minutes = 0;
        else if (!std::strcmp(argv[i], "--noise-sweep"))
            sweep = true;
        else {
            std::fprintf(stderr,
                         "usage: tape_bench [--bytes N] [--only NAME] [--speed-minutes M] "
                         "[--no-speed] [--noise-sweep]\n");
            return 1;
        }
    }
    std::vector<unsigned char> random(bytes);
    std::mt19937 rng(2024);
    for (unsigned char& b : random) b = static_cast<unsigned char>(rng());
    const std::vector<unsigned char> checksum = checksum_file();

    std::printf(
        "%zu random bytes (or the %zu-byte checksum file where named), 300 baud unless "
        "named, 2 stop bits, 44100 Hz unless named\n\n",
        bytes, checksum.size());
    std::printf("%-38s %6s %6s %7s  %s\n", "degradation", "wrong", "baud", "speed", "faults");
    bool missed = false;
    for (const bench_case& c : all_cases()) {
        if (!only.empty() && std::string(c.name).find(only) == std::string::npos) continue;
        const std::vector<unsigned char>& sent = c.sends == stream::checksum ? checksum : random;
        outcome o = decode(c.make(sent));
        int64_t wrong = edit_distance(sent, o.bytes);
        bool ok = as_expected(c.must, sent, o, wrong);
        if (c.required && !ok) missed = true;
        std::printf("%-38s %6lld %6d %+6.2f%%  %s%s\n", c.name, static_cast<long long>(wrong),
                    o.result.baud, o.result.speed * 100, describe_faults(o.result).c_str(),
                    ok ? "" : (c.required ? "  MISSED" : "  (fails)"));
        std::fflush(stdout);
    }
    if (sweep) noise_sweep();
    if (speed_minutes > 0) measure_speed(speed_minutes);
    std::printf("\n%s\n", missed ? "A required case did not decode as it must."
                                 : "Every required case decoded as it must.");
    return missed ? 3 : 0;
}
