// The decoder, in four stages.
//
// 1. The input (one channel, the mix, or each channel while the cleaner one
//    is being found) is low-passed by three cascaded moving averages of the
//    decimation factor's length, which null every band that would fold onto
//    the tones, and decimated to a working rate between 8000 and 16000
//    samples per second. A high-pass at 500 Hz takes off DC and hum.
// 2. Two mixers, tuned to 1200 and 2400 Hz times the tape's speed, turn each
//    working sample into the two tones' complex products, kept in a short
//    ring. The speed is measured from the tones themselves: over windows of
//    one 1200 Hz cycle the phase of each tone advances by an amount that
//    tells how far its mixer is off, and a loop retunes the mixers and the
//    bit clock to follow. Bit rate and tones come from the same clock, so a
//    tape running fast raises both alike. A signal is found where, over
//    some 40 ms, the two tones hold a good share of the energy over 300 baud
//    bits (FSK at any bit rate does, noise does not) and their phases run on
//    steadily from cycle to cycle (tones do, noise does not; hum has no
//    energy at the tones). Until then each working sample is also kept, and
//    once a signal is found decoding starts where it began; with two
//    channels, the one where the tones hold the larger share is read.
// 3. A bit decoder ("lane") per candidate bit rate keeps sliding sums of the
//    products over one bit: the energy at each tone over the whole bit,
//    scaled by that tone's usual level. Their balance e, from -1 (space) to
//    +1 (mark), decides bits; its fall through zero marks a start bit's
//    leading edge, averaged with where the clock said the byte was due when
//    bytes come back to back. Bits are read at their ends; on each change of
//    tone the window straddling the boundary measures how late the clock
//    runs, and the clock is pulled in. A bit whose energy has vanished is a
//    dropout: the clock runs on, bytes keep coming on it, and what was
//    missed is read as 1s, until the signal returns (reported as a dropout
//    over the bytes it touched) or 0.2 s pass (a pause: the bytes that never
//    began are forgotten). Where the signal begins, at the recording's start
//    or after a pause that cut a byte, a start bit behind less mark than the
//    rest of a byte can hold may be a 0 in that rest: the byte is reported
//    as a dropout, and so are the bytes after it while they may be framed
//    out of step (they fail to frame, or do not follow back to back).
// 4. Until the bit rate is known, a lane per rate decodes side by side; the
//    slowest whose bytes frame cleanly and whose bits are clean wins. A
//    lane slower than the signal may frame its bytes too, but with flaws: a
//    bit or a boundary falling between two of the signal's, or a short space
//    in the mark before a start bit.
#include "tape/kcs_decode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "tape/kcs.h"

namespace {

constexpr double two_pi = 2 * std::numbers::pi;

constexpr int working_floor = 8000;  // the working rate lies between this and twice it

// The working samples kept while a signal is searched for: over 2 s at the
// highest working rate, far longer than a signal takes to be found.
constexpr int64_t backlog_size = int64_t{1} << 15;
constexpr int64_t backlog_mask = backlog_size - 1;

// The ring holds the longest window, a 300 baud bit at the slowest speed at
// 16000 samples per second (67), with room for the partly counted sample.
constexpr int64_t ring_size = 128;
constexpr int64_t ring_mask = ring_size - 1;

constexpr double slowest = 0.8;  // the speeds the mixers may be tuned to
constexpr double fastest = 1.25;

constexpr double high_pass_hz = 500;
constexpr double dropout_limit = 0.2;  // seconds: a longer silence is a pause
constexpr double clock_gain = 0.1;     // share of a measured clock error corrected at once
constexpr double tail_bits = 10.5;     // more than the 1s a byte can end with, its stop bits too

// A bit's energy against the tone's usual level, where the signal is taken to
// vanish and to return.
constexpr double vanish_level = 0.03;
constexpr double return_level = 0.2;

constexpr int table_bits = 10;
constexpr size_t table_size = size_t{1} << table_bits;
constexpr int table_shift = 32 - table_bits;

struct sine_table {
    std::array<double, table_size> cos;
    std::array<double, table_size> sin;
};

sine_table make_table() {
    sine_table t{};
    for (size_t i = 0; i < table_size; ++i) {
        double angle = two_pi * static_cast<double>(i) / static_cast<double>(table_size);
        t.cos[i] = std::cos(angle);
        t.sin[i] = std::sin(angle);
    }
    return t;
}

const sine_table mixer_table = make_table();

inline size_t slot(int64_t n) { return static_cast<size_t>(n & ring_mask); }

// Both tones' products of one working sample: mark and space, real and imaginary.
struct tones {
    double mr = 0, mi = 0, sr = 0, si = 0;
};

inline void add(tones& t, const tones& u) {
    t.mr += u.mr;
    t.mi += u.mi;
    t.sr += u.sr;
    t.si += u.si;
}

inline void add(tones& t, const tones& u, double w) {
    t.mr += w * u.mr;
    t.mi += w * u.mi;
    t.sr += w * u.sr;
    t.si += w * u.si;
}

// A sliding sum over the ring's last `length` samples.
struct window {
    tones sum;
    int length = 0;
};

inline double norm(double re, double im) { return re * re + im * im; }

// Three cascaded moving averages of `factor` samples, and a sample kept out
// of every `factor`. The input is taken a chunk at a time.
constexpr size_t chunk_frames = 2048;

struct decimator {
    int factor = 1;
    std::vector<double> taps;
    std::vector<double> buffer;  // the last taps - 1 inputs, then the chunk
    size_t kept = 0;             // taps - 1
    int due = 1;                 // inputs until the next working sample, this one included
};

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

// Where the chunk's inputs go: `count` of them, already placed by the caller.
inline double* chunk_space(decimator& d) { return d.buffer.data() + d.kept; }

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

// A second-order Butterworth high-pass.
struct biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
};

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

inline double filter(biquad& f, double x) {
    double y = f.b0 * x + f.z1;
    f.z1 = f.b1 * x - f.a1 * y + f.z2;
    f.z2 = f.b2 * x - f.a2 * y;
    return y;
}

double biquad_gain(const biquad& f, double hz, double rate) {
    double w = two_pi * hz / rate;
    double nr = f.b0 + f.b1 * std::cos(w) + f.b2 * std::cos(2 * w);
    double ni = -f.b1 * std::sin(w) - f.b2 * std::sin(2 * w);
    double dr = 1 + f.a1 * std::cos(w) + f.a2 * std::cos(2 * w);
    double di = -f.a1 * std::sin(w) - f.a2 * std::sin(2 * w);
    return std::sqrt(norm(nr, ni) / norm(dr, di));
}

// What stays fixed for a decoder: the rates and the loop constants.
struct setup {
    int rate = 0;
    int factor = 1;
    double fs = 0;             // working samples per second
    int block = 0;             // working samples between updates of the speed loop
    double search_gain = 0;    // share of a measured speed error corrected per block, hunting
    double track_gain = 0;     // and once the signal is found
    double smooth = 0;         // the speed loop's smoothing of its evidence, per block
    double recover = 0;        // pull back to nominal speed per block while nothing is heard
    double search_smooth = 0;  // the search's averaging of its evidence, per block
    int lock_blocks = 0;       // blocks in a row of that evidence that make a signal
};

// One channel's way from the input to the tones' products, and the speed loop.
struct analyzer {
    decimator decim;
    biquad hpf;
    double speed = 1;
    bool tracking = false;  // a signal has been found: the speed holds through silence
    uint32_t phase_m = 0;
    uint32_t phase_s = 0;
    uint32_t step_m = 0;
    uint32_t step_s = 0;
    // The last ring_size samples' products and squares, each written twice
    // so that any window lies whole: newest(n)[-j] is sample n - j.
    std::array<tones, 2 * ring_size> ring{};
    std::array<double, 2 * ring_size> xx{};
    int64_t count = 0;  // working samples taken
    // The speed loop: windows of one 1200 Hz cycle and of two, each a whole
    // number of samples and a share of one more.
    double cycle = 0;
    int q_len = 0, q2_len = 0;
    double q_part = 0, q2_part = 0;
    double vm_re = 0, vm_im = 0, vs_re = 0, vs_im = 0, vw = 0;
    double cm_re = 0, cm_im = 0, cs_re = 0, cs_im = 0, cw = 0;
    double heard = 0;  // the evidence a block of clean tone gives, once a signal is found
    int block_left = 0;
    // The tones' share of the energy over the last window of a 300 baud bit.
    int a_len = 0;
    double purity = 0;
    double purity_smooth = 0;
    double mark_level = 0;  // the mark tone's level over the last window, as a lane counts it
    bool mark_steady = false;
    double energy = 0;  // over the last window
    int settling = 0;   // blocks still to pass since the energy jumped
    // The search for a signal: the purity and the speed loop's evidence,
    // each averaged over some 40 ms.
    double found_purity = 0;
    double fm_re = 0, fm_im = 0, fs_re = 0, fs_im = 0, fw = 0;
    int found_blocks = 0;         // blocks in a row where both tell of a signal
    int64_t onset = -1;           // the first working sample of the present stretch of tone, or -1
    int quiet_blocks = 0;         // blocks in a row of too little tone in it
    std::vector<double> backlog;  // the last backlog_size working samples, while searching
};

inline const tones* newest(const analyzer& a, int64_t n) {
    return a.ring.data() + slot(n) + ring_size;
}

inline const double* newest_square(const analyzer& a, int64_t n) {
    return a.xx.data() + slot(n) + ring_size;
}

// Takes sample n (already in the ring) into w, the oldest out, and moves the
// window's length to `length`.
inline void slide(window& w, const analyzer& a, int64_t n, int length) {
    const tones* p = newest(a, n);
    add(w.sum, p[0]);
    add(w.sum, p[-w.length], -1);
    while (w.length < length) {
        ++w.length;
        add(w.sum, p[1 - w.length]);
    }
    while (w.length > length) {
        add(w.sum, p[1 - w.length], -1);
        --w.length;
    }
}

void tune(analyzer& a, const setup& k) {
    double cycles = mark_hz * a.speed / k.fs;  // per working sample
    a.step_m = static_cast<uint32_t>(std::llround(cycles * 4294967296.0));
    a.step_s = a.step_m / 2;
    a.cycle = k.fs / (space_hz * a.speed);
    a.q_len = static_cast<int>(a.cycle);
    a.q_part = a.cycle - a.q_len;
    a.q2_len = static_cast<int>(2 * a.cycle);
    a.q2_part = 2 * a.cycle - a.q2_len;
    a.a_len = static_cast<int>(std::lround(k.fs / (300 * a.speed)));
}

void start_analyzer(analyzer& a, const setup& k) {
    start_decimator(a.decim, k.factor);
    a.hpf = high_pass(high_pass_hz, k.fs);
    a.block_left = k.block;
    a.backlog.assign(static_cast<size_t>(backlog_size), 0.0);
    tune(a, k);
}

// How steadily the tones' phases run on from one 1200 Hz cycle to the
// next, from the speed loop's evidence: 1 for pure tones, small for noise.
double steadiness(double m_re, double m_im, double s_re, double s_im, double w) {
    return w > 0 ? 2 * (std::sqrt(norm(m_re, m_im)) + std::sqrt(norm(s_re, s_im))) / w : 0;
}

void update_speed(analyzer& a, const setup& k) {
    a.cm_re += k.smooth * (a.vm_re - a.cm_re);
    a.cm_im += k.smooth * (a.vm_im - a.cm_im);
    a.cs_re += k.smooth * (a.vs_re - a.cs_re);
    a.cs_im += k.smooth * (a.vs_im - a.cs_im);
    a.cw += k.smooth * (a.vw - a.cw);
    double coherence = steadiness(a.cm_re, a.cm_im, a.cs_re, a.cs_im, a.cw);
    // Once a signal is found, a block must carry a fair share of its usual
    // evidence: in silence the filters' ringing would steer the loop.
    bool heard = a.tracking ? a.vw > 0.05 * a.heard : a.settling == 0;
    if (coherence > 0.5 && heard) {
        if (a.tracking) a.heard += 0.05 * (a.vw - a.heard);
        double wm = std::sqrt(norm(a.vm_re, a.vm_im));
        double ws = std::sqrt(norm(a.vs_re, a.vs_im)) / 4;
        double per_radian = k.fs / (two_pi * a.cycle);
        double dm = std::atan2(a.vm_im, a.vm_re) * per_radian / mark_hz;
        double ds = std::atan2(a.vs_im, a.vs_re) * per_radian / space_hz;
        if (wm + ws > 0) {
            double error = (wm * dm + ws * ds) / (wm + ws);
            a.speed += (a.tracking ? k.track_gain : k.search_gain) * error;
        }
    } else if (!a.tracking) {
        a.speed += k.recover * (1 - a.speed);
    }
    a.speed = std::clamp(a.speed, slowest, fastest);
    a.vm_re = a.vm_im = a.vs_re = a.vs_im = a.vw = 0;
    tune(a, k);
}

void update_purity(analyzer& a) {
    const tones* p = newest(a, a.count - 1);
    const double* q = newest_square(a, a.count - 1);
    tones sum;
    double energy = 0;
    for (int j = 0; j < a.a_len; ++j) {
        add(sum, p[-j]);
        energy += q[-j];
    }
    double pm = norm(sum.mr, sum.mi);
    double ps = norm(sum.sr, sum.si);
    double n = a.a_len;
    a.purity = energy > 1e-20 * n ? (pm + ps) / (0.5 * n * energy) : 0;
    // Where the signal begins, the filters' start and the windows only
    // partly in it would mislead the speed loop.
    a.settling = energy > 2 * a.energy ? 2 : std::max(0, a.settling - 1);
    a.energy = energy;
    a.purity_smooth += 0.1 * (a.purity - a.purity_smooth);
    a.mark_level = pm / (n * n);
    a.mark_steady = a.purity > 0.6 && pm > 4 * ps;
}

// Weighs, at the end of a block, the evidence for a signal; true once it is
// found. The stretch of tone is followed back to where it began: a window
// with as little as 0.3 of its energy at the tones still counts, and so does
// one whose tones' phases run on steadily (the mixers may be off tune while
// the speed is sought); only some blocks in a row of neither break it.
bool search(analyzer& a, const setup& k) {
    const double g = k.search_smooth;
    a.found_purity += g * (a.purity - a.found_purity);
    a.fm_re += g * (a.vm_re - a.fm_re);
    a.fm_im += g * (a.vm_im - a.fm_im);
    a.fs_re += g * (a.vs_re - a.fs_re);
    a.fs_im += g * (a.vs_im - a.fs_im);
    a.fw += g * (a.vw - a.fw);
    if (a.purity > 0.3) {
        // The window that first holds the tone may end a block after it began.
        if (a.onset < 0) a.onset = std::max<int64_t>(0, a.count - a.a_len - k.block);
        a.quiet_blocks = 0;
    } else if (a.onset >= 0 && steadiness(a.cm_re, a.cm_im, a.cs_re, a.cs_im, a.cw) > 0.5) {
        a.quiet_blocks = 0;
    } else if (++a.quiet_blocks > 3) {
        a.onset = -1;
    }
    double steady = steadiness(a.fm_re, a.fm_im, a.fs_re, a.fs_im, a.fw);
    bool signal = a.onset >= 0 && a.found_purity > 0.4 && steady > 0.6;
    a.found_blocks = signal ? a.found_blocks + 1 : 0;
    return a.found_blocks >= k.lock_blocks;
}

// Takes one working sample, high-passed. True at the end of a block (the
// speed retuned); found is set once a signal is.
inline bool analyze(analyzer& a, double x, const setup& k, bool& found) {
    const sine_table& t = mixer_table;
    size_t im = a.phase_m >> table_shift;
    size_t is = a.phase_s >> table_shift;
    a.phase_m += a.step_m;
    a.phase_s += a.step_s;
    const int64_t n = a.count++;
    const size_t s = slot(n);
    const tones u{x * t.cos[im], -x * t.sin[im], x * t.cos[is], -x * t.sin[is]};
    a.ring[s] = u;
    a.ring[s + ring_size] = u;
    a.xx[s] = x * x;
    a.xx[s + ring_size] = x * x;

    if ((n & 3) == 3) {
        // Each tone over the last cycle against the cycle before: the phase
        // turned between them is the mixer's error.
        const tones* p = newest(a, n);
        tones last;
        tones before;
        for (int j = 0; j < a.q_len; ++j) add(last, p[-j]);
        for (int j = a.q_len; j < a.q2_len; ++j) add(before, p[-j]);
        add(before, p[-a.q2_len], a.q2_part);
        add(before, p[-a.q_len], -a.q_part);
        add(last, p[-a.q_len], a.q_part);
        // Only where one tone fills both cycles: across a change of tone the
        // other's leakage would turn the phase too. While the speed is still
        // far off, the mark leaks into the space's mixer: the test is looser.
        double nm = norm(last.mr, last.mi) + norm(before.mr, before.mi);
        double ns = norm(last.sr, last.si) + norm(before.sr, before.si);
        const double ratio = a.tracking ? 20 : 2;
        double gm = nm > ratio * ns ? 1.0 : 0.0;
        double gs = ns > ratio * nm ? 1.0 : 0.0;
        a.vm_re += gm * (last.mr * before.mr + last.mi * before.mi);
        a.vm_im += gm * (last.mi * before.mr - last.mr * before.mi);
        a.vs_re += gs * (last.sr * before.sr + last.si * before.si);
        a.vs_im += gs * (last.si * before.sr - last.sr * before.si);
        a.vw += gm * nm + gs * ns;
    }

    if (--a.block_left > 0) return false;
    a.block_left = k.block;
    update_purity(a);
    if (!a.tracking) found = search(a, k);
    update_speed(a, k);
    return true;
}

enum class lane_mode {
    hunt,     // waiting for a start bit
    confirm,  // a leading edge seen: is a whole start bit behind it?
    frame,    // reading a byte's bits
};

struct held_byte {
    unsigned char value;
    bool framing;  // its first stop bit was heard as a 0
    bool touched;  // some of its bits were missing
    bool unheard;  // its start bit fell in the silence: it may never have been sent
    bool abrupt;   // it began as the signal did, with too little mark before it: it may
                   // be the rest of a byte whose start was never heard
    int gap;       // bits from the byte before's start to its own, 10 or 11; 0 for neither
    double start;  // its leading edge, in working samples
};

// Balances kept for the windows before a start bit: half a 300 baud bit
// at the slowest speed at 16000 samples per second, and more.
constexpr int64_t recent_size = 64;

// A bit's balance clean enough, and a boundary near enough the clock's, to
// show the lane in step with the signal.
constexpr double clean_balance = 0.9;
constexpr double clean_boundary = 0.15;  // bits

// A bit decoder for one bit rate.
struct lane {
    int baud = 300;
    double bit = 0;   // working samples per bit at the present speed
    int length = 0;   // the whole samples of the bit window
    double part = 0;  // and the share of one more
    double scale_m = 0, scale_s = 0;
    double ref_m = 0, ref_s = 0;  // each tone's usual level (amplitude squared over 4)
    window f;
    double pm = 0, ps = 0;  // the tones' energies over the window ending at `measured`
    double e_prev = 0, e_now = 0, p_prev = 0, p_now = 0;
    double measured = 0;       // where the window ended when last measured
    bool consecutive = false;  // the measure before was one sample earlier
    double last_fall = -1;     // where the signal last began to vanish
    double mark_from = -1;     // where the mark heard now began, or -1
    // The signal was last lost inside a byte, or has not been heard yet: a
    // byte that begins as it comes may be the rest of one.
    bool lost_inside = true;
    // After a byte that began abruptly the bytes may be framed out of step
    // with those sent, and its fault grows over them (see release).
    int64_t unsure_from = -1;  // that byte, or -1
    int clean_run = 0;         // bytes since framed cleanly back to back
    int run_gap = 0;           // and how far apart, in bits; 0 while not known

    lane_mode mode = lane_mode::hunt;
    double event_at = 0;  // in working samples
    bool event_mid = false;
    int index = 0;  // the bit being read: 0 start, 1-8 data, 9 stop
    unsigned bits = 0;
    int prev_value = 1;
    bool prev_present = true;
    double e_mid = 0, p_mid = 0;
    double edge = 0;
    bool unheard = false;
    bool touched = false;
    bool abrupt = false;
    int gap = 0;  // that of the frame being read

    bool expect = false;  // bytes are arriving: the next start bit is due at expect_at
    double expect_at = 0;
    bool have_last_edge = false;
    double last_edge = 0;
    int votes_10 = 0, votes_11 = 0;  // frames of ten and of eleven bits seen back to back

    bool absent = false;
    double absent_from = 0;

    std::vector<held_byte> held;
    std::vector<unsigned char> ready;
    std::vector<tape_fault> faults;
    int64_t fault_count = 0;
    int64_t released = 0;

    // For the choice of bit rate and the speed report. Frames that began
    // abruptly, or may be out of step after one, are not counted.
    int64_t frames = 0, framing_errors = 0;
    int64_t clean_frames = 0;  // framed, and no flaw in them
    double eye_sum = 0;
    int64_t eye_bits = 0;
    double frame_eye_sum = 0;  // the frame being read
    int frame_eye_bits = 0;
    // While the rate is being chosen: a flaw in the frame being read is what
    // a lane slower than the signal meets, a bit or a boundary falling
    // between two of the signal's, or a short space in the mark before the
    // start bit. The balances of the last windows before it are kept.
    bool judging = true;
    bool flawed = false;
    double dip = 1;       // the least balance over the mark since the last frame
    double edge_dip = 1;  // and up to the start bit's leading edge
    int64_t hunt_from = 0;
    std::array<double, recent_size> recent{};
    double speed_sum = 0;
    int64_t speed_bits = 0;
};

// Where a working sample lies in the recording; an edge measured a little
// before its first sample lies at its start.
double seconds(const setup& k, double position) {
    return std::max(0.0, (position * k.factor - (k.factor - 1)) / k.rate);
}

void set_scales(lane& l) {
    double b2 = l.bit * l.bit;
    l.scale_m = l.ref_m > 0 ? 1 / (b2 * l.ref_m) : 0;
    l.scale_s = l.ref_s > 0 ? 1 / (b2 * l.ref_s) : 0;
}

void retune(lane& l, const analyzer& a, const setup& k) {
    l.bit = k.fs / (l.baud * a.speed);
    l.length = static_cast<int>(l.bit);
    l.part = l.bit - l.length;
    set_scales(l);
}

void add_fault(lane& l, const tape_fault& f) {
    ++l.fault_count;
    if (l.faults.size() >= max_kept_faults) return;
    auto at = l.faults.end();
    while (at != l.faults.begin() && (at - 1)->seconds > f.seconds) --at;
    l.faults.insert(at, f);
}

// While the bytes may be out of step after an abrupt one, the dropout
// reported for it grows over every byte up to the last that fails to frame,
// or up to the one before a byte that does not follow its own back to back
// as the others do (the lane has moved into step there, or out). Some bytes
// framing cleanly back to back, all as far apart, end it.
constexpr int clean_frames_in_step = 6;

void widen_unsure(lane& l, int64_t last) {
    for (auto f = l.faults.rbegin(); f != l.faults.rend(); ++f) {
        if (f->kind == tape_fault_kind::dropout && f->first == l.unsure_from) {
            f->last = std::max(f->last, last);
            return;
        }
    }
}

int64_t release(lane& l, const held_byte& b, const setup& k) {
    int64_t number = l.released++;
    l.ready.push_back(b.value);
    if (b.abrupt) {
        // A dropout of its own: what came before its first bit heard was lost.
        add_fault(l, {tape_fault_kind::dropout, seconds(k, b.start), number, number});
        l.unsure_from = number;
        l.clean_run = 0;
    } else if (l.unsure_from < 0) {
        if (b.framing)
            add_fault(l, {tape_fault_kind::framing, seconds(k, b.start), number, number});
    } else if (b.framing) {
        widen_unsure(l, number);
        l.clean_run = 0;
        l.run_gap = 0;
    } else if (number - 1 == l.unsure_from) {
        // How far it lies from the abrupt byte, which may be a byte's rest,
        // tells nothing.
        l.clean_run = 1;
    } else if (b.gap == 0 || (l.run_gap != 0 && b.gap != l.run_gap)) {
        widen_unsure(l, number - 1);
        l.clean_run = 1;
        l.run_gap = b.gap;
    } else {
        l.run_gap = b.gap;
        if (++l.clean_run >= clean_frames_in_step) l.unsure_from = -1;
    }
    return number;
}

// The bytes stop, or the recording ends, while they may be out of step.
void end_unsure(lane& l) {
    if (l.unsure_from < 0) return;
    widen_unsure(l, l.released - 1);
    l.unsure_from = -1;
}

// The signal came back before the silence became a pause.
void end_dropout(lane& l, const setup& k) {
    int64_t first = -1;
    int64_t last = -1;
    for (const held_byte& b : l.held) {
        int64_t number = release(l, b, k);
        if (b.touched) {
            if (first < 0) first = number;
            last = number;
        }
    }
    l.held.clear();
    if (l.mode == lane_mode::frame && l.touched) {
        if (first < 0) first = l.released;
        last = l.released;
    }
    if (first >= 0)
        add_fault(l, {tape_fault_kind::dropout, seconds(k, l.absent_from), first, last});
    l.absent = false;
}

held_byte frame_byte(const lane& l) {
    held_byte b{};
    b.value = static_cast<unsigned char>(l.bits >> 1 & 0xFF);
    b.framing = !l.unheard && (l.bits >> 9 & 1) == 0;
    b.touched = l.touched;
    b.unheard = l.unheard;
    b.abrupt = l.abrupt;
    b.gap = l.gap;
    b.start = l.edge;
    return b;
}

// The silence has lasted too long for a dropout: a pause. Bytes that began
// in it are forgotten, the one it cut short is kept and reported.
void pause(lane& l, const setup& k) {
    if (l.mode == lane_mode::frame && !l.unheard) {
        for (int i = l.index; i < 10; ++i) l.bits |= 1u << i;
        l.touched = true;
        l.held.push_back(frame_byte(l));
    }
    int64_t first = -1;
    int64_t last = -1;
    for (const held_byte& b : l.held) {
        if (b.unheard) continue;
        int64_t number = release(l, b, k);
        if (b.touched) {
            if (first < 0) first = number;
            last = number;
        }
    }
    l.held.clear();
    if (first >= 0)
        add_fault(l, {tape_fault_kind::dropout, seconds(k, l.absent_from), first, last});
    l.lost_inside = first >= 0;
    end_unsure(l);
    l.absent = false;
    l.mode = lane_mode::hunt;
    l.expect = false;
    l.have_last_edge = false;
}

double purity_now(const lane& l, const analyzer& a, int64_t n) {
    const double* q = newest_square(a, n);
    double energy = l.part * q[-l.length];
    for (int j = 0; j < l.length; ++j) energy += q[-j];
    return energy > 1e-20 * l.bit ? (l.pm + l.ps) / (0.5 * l.bit * energy) : 0;
}

bool is_present(const lane& l, double p) { return l.absent ? p > return_level : p >= vanish_level; }

// Follows the signal's presence bit by bit while bytes arrive.
void note_presence(lane& l, bool present, double position, const setup& k) {
    if (!present) {
        if (!l.absent) {
            l.absent = true;
            l.absent_from = l.last_fall >= 0 && position - l.last_fall < 2 * l.bit
                                ? l.last_fall
                                : position - l.bit;
        }
        if (position - l.absent_from > dropout_limit * k.fs) pause(l, k);
    } else if (l.absent) {
        end_dropout(l, k);
    }
}

void begin_frame(lane& l, double edge, bool unheard, bool abrupt) {
    l.flawed = l.judging && l.edge_dip < clean_balance;
    l.edge_dip = 1;
    l.frame_eye_sum = 0;
    l.frame_eye_bits = 0;
    l.mode = lane_mode::frame;
    l.edge = edge;
    l.unheard = unheard;
    l.abrupt = abrupt;
    // Back to back with the byte before, at either number of stop bits?
    const double gap = (edge - l.last_edge) / l.bit;
    l.gap = !l.have_last_edge          ? 0
            : std::abs(gap - 10) < 0.3 ? 10
            : std::abs(gap - 11) < 0.3 ? 11
                                       : 0;
    l.lost_inside = false;
    l.touched = unheard;
    l.bits = 0;
    l.index = 1;
    l.prev_value = 0;
    l.prev_present = !unheard;
    l.event_mid = true;
    l.event_at = edge + 1.5 * l.bit;
}

void end_frame(lane& l, const setup& k) {
    held_byte b = frame_byte(l);
    if (!l.unheard && !l.abrupt && l.unsure_from < 0) {
        ++l.frames;
        if (b.framing) ++l.framing_errors;
        if (!b.framing && !l.flawed) ++l.clean_frames;
        l.eye_sum += l.frame_eye_sum;
        l.eye_bits += l.frame_eye_bits;
        if (l.have_last_edge) {
            double gap = (l.edge - l.last_edge) / l.bit;
            if (std::abs(gap - 10) < 0.3) ++l.votes_10;
            if (std::abs(gap - 11) < 0.3) ++l.votes_11;
        }
    }
    l.have_last_edge = true;
    l.last_edge = l.edge;
    if (l.absent)
        l.held.push_back(b);
    else
        release(l, b, k);
    int frame_bits = l.votes_10 > l.votes_11 ? 10 : 11;
    l.expect = true;
    l.expect_at = l.event_at + (frame_bits - 10) * l.bit;
    l.mode = lane_mode::hunt;
    l.dip = 1;
    l.hunt_from = static_cast<int64_t>(std::ceil(l.event_at));
}

// Reads the bit ending now, or measures the boundary in the middle of a window.
void frame_event(lane& l, const analyzer& a, double position, const setup& k) {
    double w = l.consecutive ? l.event_at - (position - 1) : 1;
    double e = l.e_prev + w * (l.e_now - l.e_prev);
    double p = l.p_prev + w * (l.p_now - l.p_prev);
    if (l.event_mid) {
        l.e_mid = e;
        l.p_mid = p;
        l.event_mid = false;
        l.event_at += l.bit / 2;
        return;
    }
    bool present = is_present(l, p);
    int value = 1;
    if (present) {
        value = e > 0 ? 1 : 0;
        if (!l.unheard) {
            l.frame_eye_sum += std::abs(e);
            ++l.frame_eye_bits;
            l.speed_sum += a.speed;
            ++l.speed_bits;
        }
        if (std::abs(e) < clean_balance) l.flawed = true;
        if (std::abs(e) > 0.6) {
            if (value)
                l.ref_m += 0.05 * (l.pm / (l.bit * l.bit) - l.ref_m);
            else
                l.ref_s += 0.05 * (l.ps / (l.bit * l.bit) - l.ref_s);
            set_scales(l);
        }
        if (l.prev_present && value != l.prev_value && l.p_mid > 0.25) {
            // The window across the boundary holds more of the later tone the
            // later the clock runs: e = 2x / (0.5 + 2x^2) for a clock x bits late.
            double d = std::clamp(value ? l.e_mid : -l.e_mid, -0.999, 0.999);
            double late = std::abs(d) < 1e-9 ? 0 : (1 - std::sqrt(1 - d * d)) / (2 * d);
            l.event_at -= clock_gain * late * l.bit;
            if (std::abs(late) > clean_boundary) l.flawed = true;
        }
    } else {
        l.touched = true;
    }
    if (value) l.bits |= 1u << l.index;
    if (present && value)
        l.mark_from = l.mark_from < 0 ? l.event_at - l.bit : l.mark_from;
    else
        l.mark_from = -1;
    l.prev_value = value;
    l.prev_present = present;
    note_presence(l, present, position, k);
    if (l.mode != lane_mode::frame) return;
    if (l.index == 9) {
        end_frame(l, k);
        return;
    }
    ++l.index;
    l.event_mid = true;
    l.event_at += l.bit / 2;
}

// Takes the working sample n, already in the analyzer's ring.
// The tones' balance and the signal's presence over the bit ending at n.
inline void measure(lane& l, const analyzer& a, int64_t n, double position) {
    tones sum = l.f.sum;
    add(sum, newest(a, n)[-l.length], l.part);
    l.pm = norm(sum.mr, sum.mi);
    l.ps = norm(sum.sr, sum.si);
    double mark = l.pm * l.scale_m;
    double space = l.ps * l.scale_s;
    l.e_prev = l.e_now;
    l.p_prev = l.p_now;
    l.p_now = mark + space;
    l.e_now = l.p_now > 0 ? (mark - space) / l.p_now : 0;
    const double before = l.measured;
    l.consecutive = position - before < 1.5;
    l.measured = position;
    // Half the window empty: the signal began to vanish half a bit ago.
    if (l.p_prev >= 0.25 && l.p_now < 0.25) {
        double cross = before + (position - before) * (l.p_prev - 0.25) / (l.p_prev - l.p_now);
        l.last_fall = cross - l.bit / 2;
    }
}

// Takes the working sample n, already in the analyzer's ring.
inline void run_lane(lane& l, const analyzer& a, int64_t n, const setup& k) {
    slide(l.f, a, n, l.length);
    const double position = static_cast<double>(n + 1);
    // Within a byte only the samples next to a bit's end or middle matter.
    if (l.mode == lane_mode::frame && position + 2 < l.event_at) return;
    measure(l, a, n, position);
    if (l.judging && l.mode != lane_mode::frame) {
        // The windows that end half a bit or more before now hold none of
        // a start bit whose edge is found now.
        l.recent[static_cast<size_t>(n & (recent_size - 1))] = l.p_now >= 0.5 ? l.e_now : 1;
        const int64_t back = n - static_cast<int64_t>(std::ceil(l.bit / 2));
        if (back >= l.hunt_from)
            l.dip = std::min(l.dip, l.recent[static_cast<size_t>(back & (recent_size - 1))]);
    }

    switch (l.mode) {
        case lane_mode::hunt: {
            if (l.expect && position >= l.expect_at + l.bit) {
                // The next start bit was due: it is there on time, the signal
                // vanished as it came, or the bytes have stopped.
                if (!is_present(l, l.p_now)) {
                    begin_frame(l, l.expect_at, true, false);
                    note_presence(l, false, position, k);
                    return;
                }
                if (l.e_now < -0.5 && purity_now(l, a, n) > 0.3) {
                    begin_frame(l, l.expect_at, false, false);
                    note_presence(l, true, position, k);
                    return;
                }
                l.expect = false;
                l.have_last_edge = false;
            }
            double cross = -1;
            // A fall through zero from a balance measured on the signal; out
            // of silence, the rise of the energy tells where the space began.
            if (l.e_prev >= 0 && l.e_now < 0 && l.p_now > 0.1 && l.p_prev > 0.1)
                cross = position - 1 + l.e_prev / (l.e_prev - l.e_now);
            else if (l.p_prev < 0.25 && l.p_now >= 0.25 && l.e_now < 0)
                cross = position - 1 + (0.25 - l.p_prev) / (l.p_now - l.p_prev);
            if (cross >= 0) {
                l.edge = cross - l.bit / 2;
                // Bytes arriving back to back: the clock foretold this edge
                // too, and the mean of two measures is the better one.
                if (l.expect && std::abs(l.edge - l.expect_at) < 0.4 * l.bit)
                    l.edge += 0.5 * (l.expect_at - l.edge);
                // Not foretold, after a silence that cut a byte or from the
                // recording's start: unless more mark than the rest of any
                // byte holds came first, this may be a 0 in that rest.
                l.abrupt = !l.expect && l.lost_inside &&
                           (l.mark_from < 0 || l.edge - l.mark_from < tail_bits * l.bit);
                l.edge_dip = l.dip;
                l.event_at = l.edge + l.bit;
                l.mode = lane_mode::confirm;
                return;
            }
            // The mark heard: from when it filled half the window.
            if (l.p_now >= 0.25 && l.e_now > 0) {
                if (l.mark_from < 0) l.mark_from = position - l.bit / 2;
            } else if (l.p_now < 0.1 || (l.p_now >= 0.25 && l.e_now < 0)) {
                l.mark_from = -1;
            }
            return;
        }
        case lane_mode::confirm: {
            if (position < l.event_at) return;
            double w = l.consecutive ? l.event_at - (position - 1) : 1;
            double e = l.e_prev + w * (l.e_now - l.e_prev);
            double p = l.p_prev + w * (l.p_now - l.p_prev);
            if (e < -0.5 && p > 0.25 && purity_now(l, a, n) > 0.3) {
                begin_frame(l, l.edge, false, l.abrupt);
                if (l.judging && e > -clean_balance) l.flawed = true;
                note_presence(l, true, position, k);
            } else {
                l.mode = lane_mode::hunt;
            }
            return;
        }
        case lane_mode::frame:
            while (l.mode == lane_mode::frame && position >= l.event_at)
                frame_event(l, a, position, k);
            return;
    }
}

// Between bytes, where no more are due, the lane's sense of the tones'
// levels follows a steady mark: a tape may come back louder or softer.
void follow_level(lane& l, const analyzer& a) {
    if (l.mode != lane_mode::hunt || l.expect || l.absent || !a.mark_steady) return;
    if (l.ref_m <= 0) return;
    double ratio = a.mark_level / l.ref_m;
    double step = std::pow(ratio, 0.2);
    l.ref_m *= step;
    l.ref_s *= step;
    set_scales(l);
}

}  // namespace

struct kcs_decoder {
    setup k;
    int channels = 1;
    decode_options options;
    std::array<analyzer, 2> an;
    int feeds = 1;   // analyzers fed: 2 while the cleaner channel is being found
    int chosen = 0;  // the analyzer the lanes read
    bool locked = false;
    std::vector<lane> lanes;
    bool decided = false;  // the bit rate is known: lanes holds one lane
    double first_frame_at = -1;
};

namespace {

void destroy(kcs_decoder* decoder) { delete decoder; }

// Starts the lanes on the chosen channel, whose signal began at working
// sample `from`.
void start_lanes(kcs_decoder& d, int64_t from) {
    const analyzer& a = d.an[static_cast<size_t>(d.chosen)];
    // A leader is mark: its level is the mark's. Bytes from the start give
    // the level from their energy, some 55% of it mark. The space's level
    // follows from the filters' gains at both tones until space bits are heard.
    double gm = decimator_gain(a.decim, mark_hz * a.speed, d.k.rate) *
                biquad_gain(a.hpf, mark_hz * a.speed, d.k.fs);
    double gs = decimator_gain(a.decim, space_hz * a.speed, d.k.rate) *
                biquad_gain(a.hpf, space_hz * a.speed, d.k.fs);
    double level = a.mark_level;
    if (!a.mark_steady) {
        double energy = 0;
        for (int64_t n = from; n < a.count; ++n) {
            double x = a.backlog[static_cast<size_t>(n & backlog_mask)];
            energy += x * x;
        }
        energy /= static_cast<double>(std::max<int64_t>(1, a.count - from));
        level = energy / 2 * (gm * gm) / (0.55 * gm * gm + 0.45 * gs * gs);
    }
    level = std::max(level, 1e-12);
    std::vector<int> bauds;
    if (d.options.baud != 0)
        bauds = {d.options.baud};
    else
        bauds = {300, 600, 1200};
    for (int baud : bauds) {
        lane l;
        l.baud = baud;
        l.ref_m = level;
        l.ref_s = level * (gs * gs) / (gm * gm);
        retune(l, a, d.k);
        // Its first windows hold the filters' start as well as the signal.
        l.hunt_from = from + static_cast<int64_t>(std::ceil(2 * l.bit));
        l.ready.reserve(256);
        d.lanes.push_back(std::move(l));
    }
    d.decided = d.lanes.size() == 1;
    if (d.decided) d.lanes.front().judging = false;
}

// The slowest rate whose bytes frame and whose bits are clean, nearly as
// well as the best's: a faster rate's lane reads a slower signal's bits
// cleanly too, in pieces, and a slower rate's lane may frame a faster
// signal's byte but not without flaws. One clean byte is enough to judge;
// where no lane has at least half its frames free of flaws (a noisy
// recording), the bits' cleanness alone.
void choose_lane(kcs_decoder& d) {
    size_t pick = 0;
    bool judged = false;
    for (bool strict : {true, false}) {
        double best = 0;
        std::vector<double> score(d.lanes.size(), 0.0);
        for (size_t i = 0; i < d.lanes.size(); ++i) {
            const lane& l = d.lanes[i];
            if (l.frames < 1 || l.eye_bits == 0) continue;
            const auto frames = static_cast<double>(l.frames);
            const double clean = static_cast<double>(l.clean_frames) / frames;
            if (strict && clean < 0.5) continue;
            double eye = l.eye_sum / static_cast<double>(l.eye_bits);
            double framed = 1 - static_cast<double>(l.framing_errors) / frames;
            score[i] = eye * framed * (strict ? clean : 1);
            best = std::max(best, score[i]);
        }
        if (best <= 0) continue;
        for (pick = 0; score[pick] < 0.85 * best; ++pick) {
        }
        judged = true;
        break;
    }
    if (!judged) {
        // Too little to judge: the lane that framed the most.
        for (size_t i = 1; i < d.lanes.size(); ++i)
            if (d.lanes[i].frames > d.lanes[pick].frames) pick = i;
    }
    lane chosen = std::move(d.lanes[pick]);
    d.lanes.clear();
    d.lanes.push_back(std::move(chosen));
    d.lanes.front().judging = false;
    d.decided = true;
}

void consider_choice(kcs_decoder& d, double position) {
    if (d.first_frame_at < 0) {
        for (const lane& l : d.lanes)
            if (l.frames > 0) d.first_frame_at = position;
        return;
    }
    bool enough = d.lanes.front().frames >= 6 || position - d.first_frame_at > 0.6 * d.k.fs;
    for (const lane& l : d.lanes)
        if (l.ready.size() + l.held.size() > 1024) enough = true;
    if (enough) choose_lane(d);
}

// Takes a high-passed working sample of the chosen channel into the lanes.
inline void step(kcs_decoder& d, analyzer& a, double x) {
    bool found = false;
    bool block_end = analyze(a, x, d.k, found);
    const int64_t n = a.count - 1;
    for (lane& l : d.lanes) {
        if (block_end) {
            retune(l, a, d.k);
            follow_level(l, a);
        }
        run_lane(l, a, n, d.k);
    }
    if (!d.decided && block_end) consider_choice(d, static_cast<double>(n + 1));
}

// A signal is found on channel `index`: the lanes start where it began, on
// the kept samples, and the search's memory is let go.
void lock(kcs_decoder& d, int index) {
    analyzer& a = d.an[static_cast<size_t>(index)];
    // With two channels, the one of purer tone carries it.
    d.chosen = index;
    if (d.feeds == 2 && d.an[1 - static_cast<size_t>(index)].purity_smooth > a.purity_smooth)
        d.chosen = 1 - index;
    d.feeds = 1;
    d.locked = true;
    analyzer& c = d.an[static_cast<size_t>(d.chosen)];
    const int64_t end = c.count;
    const int64_t from = std::max(a.onset, end - backlog_size);
    c.tracking = true;
    c.heard = c.cw;
    start_lanes(d, from);
    std::vector<double> kept = std::move(c.backlog);
    // The mixers run again from `from`, now at the speed found.
    c.count = from;
    c.ring = {};
    c.xx = {};
    c.vm_re = c.vm_im = c.vs_re = c.vs_im = c.vw = 0;
    c.block_left = d.k.block;
    for (int64_t n = from; n < end; ++n) step(d, c, kept[static_cast<size_t>(n & backlog_mask)]);
    for (analyzer& other : d.an) other.backlog = {};
}

inline void take(kcs_decoder& d, int index, double y) {
    analyzer& a = d.an[static_cast<size_t>(index)];
    const double x = filter(a.hpf, y);
    if (d.locked) {
        if (index == d.chosen) step(d, a, x);
        return;
    }
    a.backlog[static_cast<size_t>(a.count & backlog_mask)] = x;
    bool found = false;
    analyze(a, x, d.k, found);
    if (found) lock(d, index);
}

void hand_over(kcs_decoder& d, std::vector<unsigned char>& out) {
    if (!d.decided) return;
    lane& l = d.lanes.front();
    out.insert(out.end(), l.ready.begin(), l.ready.end());
    l.ready.clear();
}

}  // namespace

std::unique_ptr<kcs_decoder, void (*)(kcs_decoder*)> make_decoder(int rate, int channels,
                                                                  const decode_options& options) {
    if (rate < lowest_rate || (channels != 1 && channels != 2) ||
        (options.baud != 0 && !is_kcs_baud(options.baud)))
        return {nullptr, destroy};
    auto d = std::unique_ptr<kcs_decoder, void (*)(kcs_decoder*)>(new kcs_decoder, destroy);
    setup& k = d->k;
    k.rate = rate;
    k.factor = std::max(1, rate / working_floor);
    k.fs = static_cast<double>(rate) / k.factor;
    k.block = std::max(4, static_cast<int>(std::lround(k.fs / 600)));
    double block_seconds = k.block / k.fs;
    k.search_gain = std::min(0.5, block_seconds / 0.005);
    k.track_gain = std::min(0.5, block_seconds / 0.015);
    k.smooth = std::min(1.0, block_seconds / 0.01);
    k.recover = std::min(1.0, block_seconds / 0.05);
    k.search_smooth = std::min(1.0, block_seconds / 0.04);
    k.lock_blocks = static_cast<int>(std::ceil(0.01 / block_seconds));
    d->channels = channels;
    d->options = options;
    d->feeds = channels == 2 && options.channel == channel_choice::cleanest ? 2 : 1;
    for (analyzer& a : d->an) start_analyzer(a, k);
    return d;
}

void decode_samples(kcs_decoder& d, const float* samples, size_t frames,
                    std::vector<unsigned char>& out) {
    std::array<double, chunk_frames> work0;
    std::array<double, chunk_frames> work1;
    const bool stereo = d.channels == 2;
    const channel_choice choice = d.options.channel;
    for (size_t done = 0; done < frames;) {
        const size_t count = std::min(chunk_frames, frames - done);
        const float* f = samples + done * static_cast<size_t>(d.channels);
        done += count;
        if (!stereo) {
            double* x = chunk_space(d.an[0].decim);
            for (size_t i = 0; i < count; ++i) x[i] = f[i];
        } else if (choice == channel_choice::mix) {
            double* x = chunk_space(d.an[0].decim);
            for (size_t i = 0; i < count; ++i)
                x[i] = 0.5 * (static_cast<double>(f[2 * i]) + f[2 * i + 1]);
        } else if (choice != channel_choice::cleanest || d.feeds == 1) {
            // One channel: the one asked for, or the one found to be cleaner.
            size_t c = choice == channel_choice::right ||
                               (choice == channel_choice::cleanest && d.chosen == 1)
                           ? 1
                           : 0;
            double* x = chunk_space(d.an[c].decim);
            for (size_t i = 0; i < count; ++i) x[i] = f[2 * i + c];
            size_t made = decimate_chunk(d.an[c].decim, count, work0.data());
            for (size_t i = 0; i < made; ++i) take(d, static_cast<int>(c), work0[i]);
            continue;
        } else {
            double* x0 = chunk_space(d.an[0].decim);
            double* x1 = chunk_space(d.an[1].decim);
            for (size_t i = 0; i < count; ++i) {
                x0[i] = f[2 * i];
                x1[i] = f[2 * i + 1];
            }
            size_t made = decimate_chunk(d.an[0].decim, count, work0.data());
            decimate_chunk(d.an[1].decim, count, work1.data());
            for (size_t i = 0; i < made; ++i) {
                // Once one channel is chosen only its samples go on.
                if (d.feeds == 2 || d.chosen == 0) take(d, 0, work0[i]);
                if (d.feeds == 2 || d.chosen == 1) take(d, 1, work1[i]);
            }
            continue;
        }
        size_t made = decimate_chunk(d.an[0].decim, count, work0.data());
        for (size_t i = 0; i < made; ++i) take(d, 0, work0[i]);
    }
    hand_over(d, out);
}

void finish_decoding(kcs_decoder& d, std::vector<unsigned char>& out, decode_result& result) {
    for (lane& l : d.lanes) {
        const analyzer& a = d.an[static_cast<size_t>(d.chosen)];
        double position = static_cast<double>(a.count);
        // A last stop bit that ends with the recording.
        if (l.mode == lane_mode::frame && l.index == 9 && !l.event_mid &&
            l.event_at - position < l.bit / 2) {
            l.event_at = position;
            frame_event(l, a, position, d.k);
        }
        // A start bit still heard, half a bit or more of it, when the
        // recording ends: a byte cut short in its first bit.
        if (l.mode == lane_mode::confirm && l.e_now < 0 && l.p_now > 0.25)
            begin_frame(l, l.edge, false, l.abrupt);
        if (l.mode == lane_mode::frame || l.absent) {
            // Cut short while the signal was there: it vanishes with the end.
            if (!l.absent) l.absent_from = position;
            pause(l, d.k);
        }
        end_unsure(l);
    }
    if (!d.decided && !d.lanes.empty()) choose_lane(d);
    hand_over(d, out);
    result = {};
    result.signal = d.locked;
    result.baud = d.options.baud;
    if (d.decided) {
        lane& l = d.lanes.front();
        if (l.released > 0 || d.options.baud != 0) result.baud = l.baud;
        result.bytes = l.released;
        result.faults = l.faults;
        result.fault_count = l.fault_count;
        result.speed = l.speed_bits > 0 ? l.speed_sum / static_cast<double>(l.speed_bits) - 1
                                        : d.an[static_cast<size_t>(d.chosen)].speed - 1;
    }
}
