// The input (one channel, the mix, or each channel while the cleaner one
// is being found) is low-passed by three cascaded moving averages of the
// decimation factor's length, which null every band that would fold onto
// the tones, and decimated to a working rate between 8000 and 16000
// samples per second. A high-pass at 500 Hz takes off DC and hum.
#include <algorithm>
#include <cmath>

#include "tape/kcs_stages.h"

namespace kcs {

void start_decimator(decimator& d, int factor) {
    d.factor = factor;
    std::vector<double> box(static_cast<size_t>(factor), 1.0 / factor);
    std::vector<double> taps{1.0};
    for (int stage = 0; stage < 3 && factor > 1; ++stage) {
        std::vector<double> next(taps.size() + box.size() - 1, 0.0);
        for (size_t i = 0; i < taps.size(); ++i)
            for (size_t j = 0; j < box.size(); ++j) next[i + j] += taps[i] * box[j];
        taps = std::move(next);
    }
    d.taps = taps;  // symmetric: the same read either way
    d.kept = taps.size() - 1;
    d.buffer.assign(d.kept + chunk_frames, 0.0);
    d.due = factor;
}

// Filters and decimates the chunk placed in chunk_space; the working samples go to out.
size_t decimate_chunk(decimator& d, size_t count, double* out) {
    const size_t k = d.taps.size();
    const double* t = d.taps.data();
    size_t made = 0;
    size_t at = static_cast<size_t>(d.due - 1);  // the chunk's input that completes a window
    for (; at < count; at += static_cast<size_t>(d.factor)) {
        const double* w = d.buffer.data() + at;  // oldest of the window first
        double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        size_t i = 0;
        for (; i + 4 <= k; i += 4) {
            s0 += t[i] * w[i];
            s1 += t[i + 1] * w[i + 1];
            s2 += t[i + 2] * w[i + 2];
            s3 += t[i + 3] * w[i + 3];
        }
        for (; i < k; ++i) s0 += t[i] * w[i];
        out[made++] = (s0 + s1) + (s2 + s3);
    }
    d.due = static_cast<int>(at - count + 1);
    std::copy(d.buffer.begin() + static_cast<std::ptrdiff_t>(count),
              d.buffer.begin() + static_cast<std::ptrdiff_t>(count + d.kept), d.buffer.begin());
    return made;
}

// Gain of the decimation filter at hz, for an input at `rate`.
double decimator_gain(const decimator& d, double hz, double rate) {
    double re = 0;
    double im = 0;
    for (size_t i = 0; i < d.taps.size(); ++i) {
        double angle = two_pi * hz * static_cast<double>(i) / rate;
        re += d.taps[i] * std::cos(angle);
        im -= d.taps[i] * std::sin(angle);
    }
    return std::sqrt(norm(re, im));
}

biquad high_pass(double hz, double rate) {
    double w0 = two_pi * hz / rate;
    double alpha = std::sin(w0) / std::numbers::sqrt2;
    double c = std::cos(w0);
    double a0 = 1 + alpha;
    biquad f;
    f.b0 = (1 + c) / 2 / a0;
    f.b1 = -(1 + c) / a0;
    f.b2 = f.b0;
    f.a1 = -2 * c / a0;
    f.a2 = (1 - alpha) / a0;
    return f;
}

double biquad_gain(const biquad& f, double hz, double rate) {
    double w = two_pi * hz / rate;
    double nr = f.b0 + f.b1 * std::cos(w) + f.b2 * std::cos(2 * w);
    double ni = -f.b1 * std::sin(w) - f.b2 * std::sin(2 * w);
    double dr = 1 + f.a1 * std::cos(w) + f.a2 * std::cos(2 * w);
    double di = -f.a1 * std::sin(w) - f.a2 * std::sin(2 * w);
    return std::sqrt(norm(nr, ni) / norm(dr, di));
}

}  // namespace kcs
