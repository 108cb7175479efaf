// A bit decoder ("lane") per candidate bit rate keeps sliding sums of the
// products over one bit: the energy at each tone over the whole bit,
// scaled by that tone's usual level. Their balance e, from -1 (space) to
// +1 (mark), decides bits; its fall through zero marks a start bit's
// leading edge. When bytes come back to back the clock foretells it: an
// edge near that moves the clock a fifth of the way and trims its bit
// length, the start bit there is taken unless its window holds clearly
// more mark than space (noise spoils a bit far oftener than bytes pause),
// and a fall far before it is noise in the stop bits. Bits are read at
// their ends; on each change of tone the window straddling the boundary
// measures how late the clock runs, and the clock is pulled in. A stop bit
// is read as a 0 only on clearly more space. A bit whose energy has vanished is a
// dropout: the clock runs on, bytes keep coming on it, and what was
// missed is read as 1s, until the signal returns (reported as a dropout
// over the bytes it touched) or 0.2 s pass (a pause: the bytes that never
// began are forgotten). Where the signal begins, at the recording's start
// or after a pause that cut a byte, a start bit behind less mark than the
// rest of a byte can hold may be a 0 in that rest: the byte is reported
// as a dropout, and so are the bytes after it while they may be framed
// out of step (they fail to frame, or do not follow back to back).
#include <algorithm>
#include <cmath>

#include "tape/kcs_stages.h"

namespace kcs {

namespace {

constexpr double dropout_limit = 0.2;  // seconds: a longer silence is a pause
constexpr double clock_gain = 0.2;     // share of a measured clock error corrected at once
constexpr double tail_bits = 10.5;     // more than the 1s a byte can end with, its stop bits too

// A bit's energy against the tone's usual level, where the signal is taken to
// vanish and to return.
constexpr double vanish_level = 0.03;
constexpr double return_level = 0.2;

// While bytes arrive back to back a start bit is due where the clock says:
// a fall of the balance within this of it is that start bit's edge
// (bits), and it moves the clock by this share of the difference; a fall
// further from it, in the stop bits, is noise. Each edge also trims the
// clock's bit length, by this share of the error per bit it shows: the
// speed loop, slowed in noise, may be a little off for seconds.
constexpr double due_window = 0.4;
constexpr double edge_weight = 0.2;
constexpr double trim_gain = 0.05;
constexpr double trim_limit = 0.05;

// A start bit that was due is taken where the window over it holds no more
// than this balance towards mark: back to back, a start bit is far likelier
// than a gap, and noise may spoil its bit. A start bit that was not due must
// show more space than mark.
constexpr double due_balance = 0.4;

// A bit's balance clean enough, and a boundary near enough the clock's, to
// show the lane in step with the signal.
constexpr double clean_balance = 0.9;
constexpr double clean_boundary = 0.15;  // bits

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
        l.named = true;
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
    b.unheard = l.unheard && !l.named;  // a byte a dropout names is kept
    b.abrupt = l.abrupt;
    b.gap = l.gap;
    b.start = l.edge;
    return b;
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
    // A byte whose stop bit is a 0 may have been framed out of step: the
    // next start bit is not taken on the clock's word alone.
    l.after_fault = b.framing;
    l.expect_at = l.event_at + (frame_bits - 10) * l.bit;
    l.mode = lane_mode::hunt;
    l.dip = 1;
    l.hunt_from = static_cast<int64_t>(std::ceil(l.event_at));
}

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

}  // namespace

void retune(lane& l, const analyzer& a, const setup& k) {
    l.bit = k.fs / (l.baud * a.speed) * (1 + l.trim);
    l.length = static_cast<int>(l.bit);
    l.part = l.bit - l.length;
    set_scales(l);
}

// The bytes stop, or the recording ends, while they may be out of step.
void end_unsure(lane& l) {
    if (l.unsure_from < 0) return;
    widen_unsure(l, l.released - 1);
    l.unsure_from = -1;
}

// The silence has lasted too long for a dropout: a pause. Bytes that began
// in it are forgotten, the one it cut short is kept and reported.
void pause(lane& l, const setup& k) {
    // A byte begun in the silence is forgotten, unless the signal came back
    // inside it and a dropout already names it.
    if (l.mode == lane_mode::frame && (!l.unheard || l.named)) {
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

void begin_frame(lane& l, double edge, bool unheard, bool abrupt) {
    l.flawed = l.judging && l.edge_dip < clean_balance;
    l.edge_dip = 1;
    l.frame_eye_sum = 0;
    l.frame_eye_bits = 0;
    l.mode = lane_mode::frame;
    l.edge = edge;
    l.unheard = unheard;
    l.named = false;
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
        // A stop bit, which every byte in step ends with, is read as a 0
        // only where its window shows clearly more space than mark.
        value = e > (l.index == 9 ? -due_balance : 0) ? 1 : 0;
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
void run_lane(lane& l, const analyzer& a, int64_t n, const setup& k) {
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
                if (l.after_fault ? l.e_now < -0.5 && purity_now(l, a, n) > 0.3
                                  : l.e_now < due_balance) {
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
            // Bytes arriving back to back in frames of eleven bits: a fall
            // well before the start bit was due lies in the stop bits.
            if (cross >= 0 && l.expect && !l.after_fault && l.unsure_from < 0 &&
                l.votes_11 > l.votes_10 + 2 && cross - l.bit / 2 < l.expect_at - due_window * l.bit)
                cross = -1;
            if (cross >= 0) {
                l.edge = cross - l.bit / 2;
                // Bytes arriving back to back: the clock foretold this edge
                // too, and the clock, kept by every edge before, is the
                // better measure.
                l.due = l.expect && !l.after_fault &&
                        std::abs(l.edge - l.expect_at) < due_window * l.bit;
                l.due_checked = false;
                if (l.due) {
                    const double error = l.edge - l.expect_at;
                    l.trim = std::clamp(l.trim + trim_gain * error / (11 * l.bit), -trim_limit,
                                        trim_limit);
                    l.edge = l.expect_at + edge_weight * error;
                }
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
            // A fall later than the start bit was due: noise may have
            // delayed it, so the window over the start bit where it was due
            // decides first.
            if (l.expect && !l.after_fault && !l.due && !l.due_checked && l.edge > l.expect_at &&
                position >= l.expect_at + l.bit) {
                l.due_checked = true;
                if (is_present(l, l.p_now) && l.e_now < due_balance) {
                    begin_frame(l, l.expect_at, false, false);
                    note_presence(l, true, position, k);
                    return;
                }
            }
            if (position < l.event_at) return;
            double w = l.consecutive ? l.event_at - (position - 1) : 1;
            double e = l.e_prev + w * (l.e_now - l.e_prev);
            double p = l.p_prev + w * (l.p_now - l.p_prev);
            const bool start = l.due ? e < due_balance && is_present(l, p)
                                     : e < 0 && p > 0.25 && purity_now(l, a, n) > 0.3;
            if (start) {
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

}  // namespace kcs
