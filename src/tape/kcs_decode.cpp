// The decoder, in four stages, each in a file of its own:
//
// 1. kcs_filter.cpp: the input filtered and decimated;
// 2. kcs_tones.cpp: the two tones mixed and the speed followed, and the
//    search for a signal;
// 3. kcs_lanes.cpp: the bit lanes, with their dropouts and pauses;
// 4. kcs_bit_rate.cpp: the choice of bit rate.
//
// Here they are joined: the input's channels are taken apart, filtered and
// analysed until a signal is found on one; from there that channel's working
// samples go through its mixers into the lanes, and the bytes of the lane
// chosen go out.
#include "tape/kcs_decode.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "tape/kcs.h"
#include "tape/kcs_stages.h"

using namespace kcs;

namespace {

constexpr int working_floor = 8000;  // the working rate lies between this and twice it

void destroy(kcs_decoder* decoder) { delete decoder; }

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
    if (rate < lowest_rate || rate > highest_decoded_rate || (channels != 1 && channels != 2) ||
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
