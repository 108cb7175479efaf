// Until the bit rate is known, a lane per rate decodes side by side; the
// slowest whose bytes frame cleanly and whose bits are clean wins. A
// lane slower than the signal may frame its bytes too, but with flaws: a
// bit or a boundary falling between two of the signal's, or a short space
// in the mark before a start bit. The judging waits for the slowest lane's
// bytes: in a noisy leader the faster lanes frame noise.
#include <algorithm>
#include <cmath>
#include <vector>

#include "tape/kcs.h"
#include "tape/kcs_stages.h"

namespace kcs {

// Starts the lanes on the chosen channel, whose signal began at working
// sample `from`: one per bit rate while the rate is still to be found.
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
    // The time to judge runs from the slowest lane's second byte: a lane
    // faster than the signal frames noise in a noisy leader, and even the
    // slowest may frame one, while the slowest lane frames the bytes of the
    // signal at any rate.
    if (d.first_frame_at < 0) {
        if (d.lanes.front().frames >= 2) d.first_frame_at = position;
        return;
    }
    // Six bytes are enough, unless noise has spoilt the framing of some.
    const lane& slowest = d.lanes.front();
    bool enough = slowest.frames >= (slowest.framing_errors > 0 ? 24 : 6) ||
                  position - d.first_frame_at > 0.6 * d.k.fs;
    for (const lane& l : d.lanes)
        if (l.ready.size() + l.held.size() > 1024) enough = true;
    if (enough) choose_lane(d);
}

}  // namespace kcs
