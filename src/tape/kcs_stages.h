// What the decoder's stages share: the types each hands to the next, and the
// functions one stage calls in another. Private to the decoder's files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

#include "tape/kcs_decode.h"

namespace kcs {

constexpr double two_pi = 2 * std::numbers::pi;

// The working samples kept while a signal is searched for: over 2 s at the
// highest working rate, far longer than a signal takes to be found.
constexpr int64_t backlog_size = int64_t{1} << 15;
constexpr int64_t backlog_mask = backlog_size - 1;

// The ring holds the longest window, a 300 baud bit at the slowest speed at
// 16000 samples per second (67), with room for the partly counted sample.
constexpr int64_t ring_size = 128;
constexpr int64_t ring_mask = ring_size - 1;

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

// Stage 1, the input filtered and decimated (kcs_filter.cpp).

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

void start_decimator(decimator& d, int factor);

// Where the chunk's inputs go: `count` of them, already placed by the caller.
inline double* chunk_space(decimator& d) { return d.buffer.data() + d.kept; }

// Filters and decimates the chunk placed in chunk_space; the working samples go to out.
size_t decimate_chunk(decimator& d, size_t count, double* out);

// Gain of the decimation filter at hz, for an input at `rate`.
double decimator_gain(const decimator& d, double hz, double rate);

// A second-order Butterworth high-pass.
struct biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;
};

biquad high_pass(double hz, double rate);

inline double filter(biquad& f, double x) {
    double y = f.b0 * x + f.z1;
    f.z1 = f.b1 * x - f.a1 * y + f.z2;
    f.z2 = f.b2 * x - f.a2 * y;
    return y;
}

double biquad_gain(const biquad& f, double hz, double rate);

constexpr double high_pass_hz = 500;

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

// Stage 2, the two tones mixed and the speed followed (kcs_tones.cpp).

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
    int pairs = 0, pairs_steady = 0;  // pairs of cycles weighed in the block, and those taken
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

void start_analyzer(analyzer& a, const setup& k);

// Takes one working sample, high-passed. True at the end of a block (the
// speed retuned); found is set once a signal is.
bool analyze(analyzer& a, double x, const setup& k, bool& found);

// Stage 3, the bit lanes with their dropouts and pauses (kcs_lanes.cpp).

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
    bool named = false;  // a dropout already reported names it: it is kept whatever follows
    bool touched = false;
    bool abrupt = false;
    int gap = 0;               // that of the frame being read
    bool due = false;          // the edge being confirmed lies where a start bit was due
    bool due_checked = false;  // a later edge: the start bit where it was due has been weighed
    double trim = 0;           // the bit length's correction to the speed loop's, from the edges
    bool after_fault = false;  // the byte before failed to frame

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

// Fits the lane's bit window to the speed found.
void retune(lane& l, const analyzer& a, const setup& k);

// Takes the working sample n, already in the analyzer's ring.
void run_lane(lane& l, const analyzer& a, int64_t n, const setup& k);

// Between bytes, where no more are due, the lane's sense of the tones'
// levels follows a steady mark: a tape may come back louder or softer.
void follow_level(lane& l, const analyzer& a);

// Reads the bit ending now, or measures the boundary in the middle of a window.
void frame_event(lane& l, const analyzer& a, double position, const setup& k);

// A start bit's leading edge at `edge`: the byte's bits are read from it.
void begin_frame(lane& l, double edge, bool unheard, bool abrupt);

// The silence has lasted too long for a dropout: a pause. Bytes that began
// in it are forgotten, the one it cut short is kept and reported.
void pause(lane& l, const setup& k);

// The bytes stop, or the recording ends, while they may be out of step.
void end_unsure(lane& l);

}  // namespace kcs

struct kcs_decoder {
    kcs::setup k;
    int channels = 1;
    decode_options options;
    std::array<kcs::analyzer, 2> an;
    int feeds = 1;   // analyzers fed: 2 while the cleaner channel is being found
    int chosen = 0;  // the analyzer the lanes read
    bool locked = false;
    std::vector<kcs::lane> lanes;
    bool decided = false;  // the bit rate is known: lanes holds one lane
    double first_frame_at = -1;
};

namespace kcs {

// Stage 4, the choice of bit rate (kcs_bit_rate.cpp).

// Starts the lanes on the chosen channel, whose signal began at working
// sample `from`: one per bit rate while the rate is still to be found.
void start_lanes(kcs_decoder& d, int64_t from);

// Keeps the lane of the rate found and lets the others go.
void choose_lane(kcs_decoder& d);

// At the end of a block: is there enough to choose the bit rate by?
void consider_choice(kcs_decoder& d, double position);

}  // namespace kcs
