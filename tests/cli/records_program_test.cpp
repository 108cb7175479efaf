// Whole-program runs with inputs that give their own addresses: the pieces in
// every format, the loader placed around them, the refusals with their
// messages, and a single piece converted exactly as a raw image at its address.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cli/program_fixture.h"
#include "support/record_text.h"

namespace {

std::string hex4(int value) {
    const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 15];
    return text;
}

std::string overlap_message(const char* place) {
    return "\nThe data would overwrite the loader at $"s + place +
           ". Give the loader's place with -i<addr>.\n";
}

const std::string end_record = ":00000001FF\n";
// A9 00 60 at $0300 and 3B 24 at $1000, out of order, with a start address of $0300.
const std::string two_pieces = intel_hex(0, 0x1000, "\x3B\x24") +
                               intel_hex(0, 0x0300, "\xA9\x00\x60"s) + ":0400000500000300F4\n" +
                               end_record;
const std::string two_65v = ".0300/A9\r00\r60\r.1000/3B\r24\r";

std::string one_byte_at(int first, int second) {
    return intel_hex(0, static_cast<unsigned>(first), "\x01") +
           intel_hex(0, static_cast<unsigned>(second), "\x02");
}

// The words of text, split at spaces.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> found;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) found.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return found;
}

struct record_run {
    const char* name;
    std::string input;
    std::string args;      // before the input's name, split at spaces
    std::string out = "";  // after the loader section where there is one
    std::string err = "";
    std::string loader = "";  // the loader section's first and last six bytes
    int status = 0;
};

void PrintTo(const record_run& c, std::ostream* os) { *os << c.name; }

// A run refused with the message; it names an output that exists, which stays as it was.
record_run refused(const char* name, const std::string& input, const char* args,
                   const std::string& message) {
    return {name, input, args, "", message, "", 255};
}

class record_runs : public program, public ::testing::WithParamInterface<record_run> {};

TEST_P(record_runs, write_the_pieces_or_refuse) {
    const record_run& c = GetParam();
    put("in", c.input);
    std::vector<std::string> args = words(c.args + " in");
    if (c.status != 0) {
        put("out", "old");
        args.push_back("out");
    }
    program_result r = run(args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    if (!c.loader.empty()) {
        ASSERT_GE(r.out.size(), 735u);
        EXPECT_EQ(r.out.substr(0, 6) + r.out.substr(729, 6), c.loader);
        r.out.erase(0, 735);
    }
    EXPECT_EQ(r.out, c.out);
    if (c.status != 0) {
        EXPECT_EQ(get("out"), "old");
    }
}

const std::string warning_65v =
    " reaches into cells that the 65V monitor uses while it loads ($00FB-$00FF, $010E-$0128, "
    "$0200-$0234) and may not load there.\n";

INSTANTIATE_TEST_SUITE_P(
    cases, record_runs,
    ::testing::Values(
        record_run{"v", two_pieces, "-v -rhex -g0300", two_65v + ".0300G"},
        record_run{"v_srec",
                   "S00600004844521B\n" + s_record(1, 0x1000, 2, "\x3B\x24") +
                       "S1060300A90060ED\nS5030002FA\n" + s_record(7, 0x12345, 4, ""),
                   "-v -rsrec", two_65v,
                   "\nWarning: the input's start address $00012345 is not used; give -g to "
                   "start there.\n"},
        record_run{"a_t", two_pieces, "-a -t -rhex -g0400",
                   "L0300\r\nA9 00 60 RL1000\r\n3B 24 RLLLLL0129\r\n00000004FD0400R\0\0\0G"s},
        record_run{"c", two_pieces, "-c -mHI -p2 -rhex -g0300",
                   "HI;030300A90060010F\r\0\0\n;0210003B240071\r\0\0\n$0300"s},
        record_run{"q", two_pieces, "-q -mHI -rhex -g0300",
                   "HI\x3B\x03\x03\x00\xA9\x00\x60\x01\x0F\x3B\x02\x10\x00\x3B\x24\x00\x71"
                   "\x24\x03\x00"s},
        record_run{"i", two_pieces, "-i -rhex -g0300",
                   ";030300A90060010F\r\0\0\0\0\0\n;0210003B240071\r\0\0\0\0\0\n$0300"s, "",
                   ".1E00/.1E05G"},
        // A later piece in the register save area decides the 65A start too.
        record_run{"a_restart_alone", one_byte_at(0x0010, 0x012E), "-a -rhex -g0300",
                   "L0010\r01 RL012E\r02 RGGGG",
                   "\nWarning: the go address is not used: the target restarts from its register "
                   "save area ($0129-$012F), where the data lies.\n"},
        record_run{"a_start_over_data", one_byte_at(0x0010, 0x012F), "-a -rhex -g0300",
                   "L0010\r01 RL012F\r02 RLLLLL0129\r00000004FD0300R\0\0\0G"s,
                   "\nWarning: the start sequence overwrites the data in the register save area "
                   "($0129-$012F).\n"},
        record_run{"v_warning_per_piece",
                   one_byte_at(0x00FB, 0x0200) + intel_hex(0, 0x0201, "\x03"), "-v -rhex",
                   ".00FB/01\r.0200/02\r03\r",
                   "\nWarning: the data at $00FB-$00FB" + warning_65v +
                       "\nWarning: the data at $0200-$0201" + warning_65v},
        // The loader: a page below the lowest piece; else $1E00, the pieces unmoved.
        record_run{"i_below", one_byte_at(0x0400, 0x2000), "-i -rhex",
                   ";010400010006\r\0\0\0\0\0\n;012000020023\r\0\0\0\0\0\n"s, "", ".0300/.0305G"},
        record_run{"i_fixed_unmoved", one_byte_at(0x0100, 0x0300), "-i -q -rhex",
                   "\x3B\x01\x01\x00\x01\x00\x03\x3B\x01\x03\x00\x02\x00\x06"s,
                   "\nWarning: the data at $0100-$0100 reaches into the target's system area "
                   "($0000-$0234), which the loader reads through, and may not load there. Link "
                   "it at $0235 or above.\n",
                   ".1E00/.1E00G"},
        refused("given_loader_over_a_piece", two_pieces, "-i02F0 -rhex", overlap_message("02F0")),
        refused("given_loader_wrapping_onto_a_piece", one_byte_at(0x00E0, 0x2000), "-iFFF0 -rhex",
                overlap_message("FFF0")),
        refused("fixed_loader_over_a_piece", one_byte_at(0x0300, 0x1EF0), "-i -rhex",
                overlap_message("1E00")),
        // The refusals of the input, before the output.
        refused("not_a_record", ":00000001FF\r", "-v -rhex",
                "\nLine 1 of the input is not a record.\n"),
        refused("checksum", "\n:03030000A90060F2\n", "-v -rhex",
                "\nLine 2 of the input: the record's checksum is wrong.\n"),
        refused("above_ffff", intel_hex(0, 0xFFFF, "\x01\x02"), "-v -rhex",
                "\nLine 1 of the input puts data above $FFFF.\n"),
        refused("loaded_twice", one_byte_at(0x0300, 0x0200) + intel_hex(0, 0x01FF, "\x01\x02"),
                "-v -rhex", "\nLine 3 of the input loads $0200 a second time.\n"),
        refused("record_count", "S1060300A90060ED\nS5030002FA\n", "-v -rsrec",
                "\nLine 2 of the input: the record count is wrong.\n"),
        refused("no_data", end_record, "-v -rhex", "\nThe input holds no data.\n"),
        refused("prg_too_short", "\x03", "-v -rprg",
                "\nThe input is too short for its load address.\n")),
    [](const ::testing::TestParamInfo<record_run>& tested) { return tested.param.name; });

TEST_F(program, record_text_over_16_mib_is_refused) {
    const std::string blank_lines(16u << 20, '\n');
    program_result r = run_with_input({"-v", "-rsrec"}, blank_lines);
    EXPECT_EQ(r.err, "\nThe input holds no data.\n");
    r = run_with_input({"-v", "-rhex"}, blank_lines + "\n");
    EXPECT_EQ(r.err, "\nThe input is too large.\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
}

// Random data at random addresses in every format with random options, given
// as records (split at random, in random order), as a PRG file and as a raw
// image with -l: the same bytes, messages and status, except where a loader
// placed by -i lies over the data, which only the first two refuse.
TEST_F(program, a_single_piece_converts_as_a_raw_image_at_its_address) {
    std::mt19937 rng(20260);
    auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const int edges[] = {0x0000, 0x0129, 0x012E, 0x0200, 0x0300, 0x0335, 0x1D80, 0xFF00};
    const char* const formats[] = {"-v", "-a", "-c", "-q", "-i", "-i -q"};
    for (int trial = 0; trial < 100; ++trial) {
        int size = below(3) == 0 ? below(4) : below(700);
        int address = below(2) == 0 ? edges[below(8)] : below(0x10000);
        std::string options = formats[below(6)];
        if (trial % 8 == 0) {  // from $0200-$0334 to about the loader's fixed place
            options = "-i";
            address = 0x0200 + below(0x135);
            size = 0x1E00 - address - 2 + below(4);
        }
        address = std::min(address, 0x10000 - size);
        int place = -1;
        if (options[1] == 'i' && below(2) == 0) {
            const int near[] = {below(0x10000), address - below(0x100), address + below(0x100)};
            place = std::clamp(near[below(3)], 0, 0xFFFF);
            options.insert(2, hex4(place));
        }
        if (below(2) == 0) options += " -g" + hex4(below(0x10000));
        if (below(2) == 0) options += " -mHI\\r -p" + hex4(below(256)).substr(2);
        if (below(2) == 0) options += below(2) == 0 ? " -t" : " -t0";

        std::string data;
        for (int i = 0; i < size; ++i) data += static_cast<char>(below(256));
        const bool srec = below(2) == 0;
        std::vector<std::string> records;
        for (int at = 0, n = 0; at < size; at += n) {
            n = std::min(size - at, 1 + below(40));
            const std::string part = data.substr(static_cast<size_t>(at), static_cast<size_t>(n));
            const auto to = static_cast<unsigned>(address + at);
            records.push_back(srec ? s_record(1, to, 2, part) : intel_hex(0, to, part));
        }
        std::shuffle(records.begin(), records.end(), rng);
        std::string record_text;
        for (const std::string& r : records) record_text += r;
        put("in.rec", record_text);
        put("in.prg",
            std::string{static_cast<char>(address), static_cast<char>(address >> 8)} + data);
        put("in.bin", data);

        auto with = [&](const std::string& more) { return run(words(options + " " + more)); };
        const program_result raw = with("-l" + hex4(address) + " in.bin");
        bool over = false;
        for (int i = 0; i < 241 && place > 0; ++i) {
            const int cell = (place + i) & 0xFFFF;
            over = over || (cell >= address && cell < address + size);
        }
        std::vector<program_result> given = {with("-rprg in.prg")};
        if (size > 0) given.push_back(with(srec ? "-rsrec in.rec" : "-rhex in.rec"));
        for (const program_result& r : given) {
            SCOPED_TRACE("trial " + std::to_string(trial) + ": " + options + ", " +
                         std::to_string(size) + " bytes at " + hex4(address));
            EXPECT_EQ(r.out, over ? "" : raw.out);
            EXPECT_EQ(r.err, over ? overlap_message(hex4(place).c_str()) : raw.err);
            EXPECT_EQ(r.status, over ? 255 : raw.status);
        }
    }
}

}  // namespace
