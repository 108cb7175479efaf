// Two mixers, tuned to 1200 and 2400 Hz times the tape's speed, turn each
// working sample into the two tones' complex products, kept in a short
// ring. The speed is measured from the tones themselves: over windows of
// one 1200 Hz cycle the phase of each tone advances by an amount that
// tells how far its mixer is off, and a loop retunes the mixers and the
// bit clock to follow; in noise, where a cycle's phase tells little, the
// loop slows. Bit rate and tones come from the same clock, so a
// tape running fast raises both alike. A signal is found where, over
// some 40 ms, the two tones hold a good share of the energy over 300 baud
// bits (FSK at any bit rate does, noise does not) and their phases run on
// steadily from cycle to cycle (tones do, noise does not; hum has no
// energy at the tones). Until then each working sample is also kept, and
// once a signal is found decoding starts where it began; with two
// channels, the one where the tones hold the larger share is read.
#include <algorithm>
#include <cmath>

#include "tape/kcs.h"
#include "tape/kcs_stages.h"

namespace kcs {

namespace {

constexpr double slowest = 0.8;  // the speeds the mixers may be tuned to
constexpr double fastest = 1.25;
constexpr double noise_share = 0.005;  // see track_share
constexpr double steady_level = 0.5;   // see analyze

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

}  // namespace

void start_analyzer(analyzer& a, const setup& k) {
    start_decimator(a.decim, k.factor);
    a.hpf = high_pass(high_pass_hz, k.fs);
    a.block_left = k.block;
    a.backlog.assign(static_cast<size_t>(backlog_size), 0.0);
    tune(a, k);
}

namespace {

// How steadily the tones' phases run on from one 1200 Hz cycle to the
// next, from the speed loop's evidence: 1 for pure tones, small for noise.
double steadiness(double m_re, double m_im, double s_re, double s_im, double w) {
    return w > 0 ? 2 * (std::sqrt(norm(m_re, m_im)) + std::sqrt(norm(s_re, s_im))) / w : 0;
}

// How much of the loop's gain a block's evidence gets once the signal is
// found, from how steadily the tones' phases run on (1 for pure tones,
// whatever their tuning: a wobbling tape keeps the full gain). In noise a
// cycle's phase is a poor measure, and the loop at full gain would wander by
// a percent and more: the gain falls with the steady part's ratio to the
// rest, to some 4% of it at -5 dB over the whole band at 44100 Hz. The
// lanes' edges keep the bit clock in step meanwhile.
double track_share(double coherence) {
    const double rest = std::max(1e-6, 1 - coherence);
    return std::min(1.0, noise_share * coherence / rest);
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
    // While the speed is sought, a block counts only where nearly all its
    // pairs held one tone: in a stream whose tone changes with every bit
    // (bytes of $55 at 1200 baud) the odd pair that passes is off.
    bool heard =
        a.tracking ? a.vw > 0.05 * a.heard : a.settling == 0 && 4 * a.pairs_steady >= 3 * a.pairs;
    if (coherence > 0.5 && heard) {
        if (a.tracking) a.heard += 0.05 * (a.vw - a.heard);
        double wm = std::sqrt(norm(a.vm_re, a.vm_im));
        double ws = std::sqrt(norm(a.vs_re, a.vs_im)) / 4;
        double per_radian = k.fs / (two_pi * a.cycle);
        double dm = std::atan2(a.vm_im, a.vm_re) * per_radian / mark_hz;
        double ds = std::atan2(a.vs_im, a.vs_re) * per_radian / space_hz;
        if (wm + ws > 0) {
            double error = (wm * dm + ws * ds) / (wm + ws);
            a.speed += (a.tracking ? k.track_gain * track_share(coherence) : k.search_gain) * error;
        }
    } else if (!a.tracking) {
        a.speed += k.recover * (1 - a.speed);
    }
    a.speed = std::clamp(a.speed, slowest, fastest);
    a.vm_re = a.vm_im = a.vs_re = a.vs_im = a.vw = 0;
    a.pairs = a.pairs_steady = 0;
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

}  // namespace

// Takes one working sample, high-passed. True at the end of a block (the
// speed retuned); found is set once a signal is.
bool analyze(analyzer& a, double x, const setup& k, bool& found) {
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
        if (!a.tracking) {
            // While the speed is sought, only a tone at least half as strong
            // in one cycle as in the other: a pair across a change of tone,
            // one cycle only partly in it, turns the phase as a speed error
            // would, and behind a short leader at 1200 baud such pairs are
            // most of what there is.
            const double lm = norm(last.mr, last.mi), bm = norm(before.mr, before.mi);
            const double ls = norm(last.sr, last.si), bs = norm(before.sr, before.si);
            if (std::min(lm, bm) < steady_level * std::max(lm, bm)) gm = 0;
            if (std::min(ls, bs) < steady_level * std::max(ls, bs)) gs = 0;
        }
        a.vm_re += gm * (last.mr * before.mr + last.mi * before.mi);
        a.vm_im += gm * (last.mi * before.mr - last.mr * before.mi);
        a.vs_re += gs * (last.sr * before.sr + last.si * before.si);
        a.vs_im += gs * (last.si * before.sr - last.sr * before.si);
        a.vw += gm * nm + gs * ns;
        ++a.pairs;
        if (gm + gs > 0) ++a.pairs_steady;
    }

    if (--a.block_left > 0) return false;
    a.block_left = k.block;
    update_purity(a);
    if (!a.tracking) found = search(a, k);
    update_speed(a, k);
    return true;
}

}  // namespace kcs
