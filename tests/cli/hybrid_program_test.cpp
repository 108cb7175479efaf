// Whole-program runs of the hybrid format: where the loader goes, the loader
// section ahead of the data, the refusal of data that would reach the loader
// at its fixed place, and the warning for a given place in the system area.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/program_fixture.h"

namespace {

const char hex_digit[] = "0123456789ABCDEF";

std::string hex2(int value) { return {hex_digit[(value >> 4) & 15], hex_digit[value & 15]}; }

std::string hex4(int value) { return hex2(value >> 8) + hex2(value); }

std::string warning(int place) {
    return "\nWarning: a loader at $" + hex4(place) +
           " lies in the target's system area ($0000-$0234) and may not run there.\n";
}

// For hybrid data at $first-$last, after the move to $1F00 where that applies.
std::string data_warning(int first, int last) {
    return "\nWarning: the data at $" + hex4(first) + "-$" + hex4(last) +
           " reaches into the target's system area ($0000-$0234), which the loader reads "
           "through, and may not load there. Link it at $0235 or above.\n";
}

const std::string overlap_message =
    "\nThe data would overwrite the loader at $1E00. Give the loader's place with -i<addr>.\n";

// One checksum record as the loader reads it: the text, CR, the NULs, LF.
std::string record(const std::string& text, size_t pad = 5) {
    return text + "\r" + std::string(pad, '\0') + "\n";
}

enum class loader_kind { checksum, qsave };

constexpr size_t section_size = 6 + 241 * 3 + 6;

// Entries of each loader whose value is known by hand for a given place:
// relocated operand words (word + place, low byte first) and bytes that stay
// as they are wherever the loader goes.
std::vector<std::pair<size_t, int>> known_entries(loader_kind kind, int place) {
    auto word = [place](size_t offset, int linked) {
        int w = (linked + place) & 0xFFFF;
        return std::vector<std::pair<size_t, int>>{{offset, w & 0xFF}, {offset + 1, w >> 8}};
    };
    std::vector<std::pair<size_t, int>> known;
    auto add = [&known](std::vector<std::pair<size_t, int>> more) {
        known.insert(known.end(), more.begin(), more.end());
    };
    if (kind == loader_kind::checksum) {
        add({{0, 0x00}, {1, 0x00}, {2, 0x00}, {3, 0x00}, {4, 0x00}, {5, 0x20}});
        add(word(6, 0x00A2));                             // JSR to the load-character reader
        add({{0xA7, 0x8D}, {0xA8, 0x03}, {0xA9, 0x02}});  // STA $0203, fixed
        add({{0xAA, 0x20}, {0xAB, 0xEB}, {0xAC, 0xFF}});  // JSR $FFEB, fixed
        add({{0xB5, 0x6C}});
        add(word(0xB6, 0x0002));  // JMP through the go vector
        add({{0xB8, 0x0D}, {0xB9, 0x0A}, {0xBA, 0x0A}, {0xBB, 'O'}, {0xBC, 'B'}, {0xBD, 'J'}});
        add({{0xF0, 0x00}});
    } else {
        add({{0, 0xD8}, {1, 0x78}, {2, 0xA2}, {3, 0x03}, {4, 0x20}});
        add(word(5, 0x00C8));  // JSR to the message printer
        add({{7, 0xAE}, {8, 0xE2}, {9, 0xFF}, {0x0D, 0x20}});
        add(word(0x0E, 0x00BA));                          // JSR to the read-and-echo routine
        add({{0x7D, 0x6C}, {0x7E, 0xF0}, {0x7F, 0x00}});  // JMP ($00F0), fixed
        add({{0xBC, 0x2C}, {0xBD, 0xA9}, {0xBE, 0x00}});  // BIT $00A9, fixed
        add({{0xC8, 0xBD}});
        add(word(0xC9, 0x00D4));  // LDA of the message table
        add({{0xF0, 0x00}});
    }
    return known;
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The first section_size bytes of out must be the loader of the given kind at
// the given place: ".AAAA/", 241 entries of two upper-case hex digits and CR,
// and the go command for its entry.
::testing::AssertionResult is_loader_section(const std::string& out, loader_kind kind, int place) {
    if (out.size() < section_size) {
        return ::testing::AssertionFailure() << "only " << out.size() << " bytes of output";
    }
    std::string head = std::string(".").append(hex4(place)).append("/");
    if (out.compare(0, head.size(), head) != 0) {
        return ::testing::AssertionFailure()
               << "starts \"" << out.substr(0, head.size()) << "\", not \"" << head << "\"";
    }
    std::vector<int> entries;
    for (size_t i = 0; i < 241; ++i) {
        size_t at = head.size() + 3 * i;
        int high = digit_value(out[at]);
        int low = digit_value(out[at + 1]);
        if (high < 0 || low < 0 || out[at + 2] != '\r') {
            return ::testing::AssertionFailure()
                   << "entry " << i << " is not two upper-case hex digits and CR";
        }
        entries.push_back(high * 16 + low);
    }
    int entry = kind == loader_kind::checksum ? 5 : 0;
    std::string go = "." + hex4((place + entry) & 0xFFFF) + "G";
    if (out.compare(section_size - go.size(), go.size(), go) != 0) {
        return ::testing::AssertionFailure()
               << "ends \"" << out.substr(section_size - go.size(), go.size()) << "\", not \"" << go
               << "\"";
    }
    for (auto [offset, value] : known_entries(kind, place)) {
        if (entries[offset] != value) {
            return ::testing::AssertionFailure()
                   << "entry $" << hex2(static_cast<int>(offset)) << " is " << hex2(entries[offset])
                   << ", not " << hex2(value);
        }
    }
    return ::testing::AssertionSuccess();
}

using hybrid = program;

// ---------------------------------------------------------------- placement and sections

struct placement_case {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    loader_kind kind;
    int place;                      // where the loader section must put the loader
    std::string data;               // everything after the section
    bool warns;                     // the system-area warning for `place`
    std::string data_warning = {};  // the warning for data in the system area, if any
};

void PrintTo(const placement_case& c, std::ostream* os) { *os << c.name; }

class placements : public hybrid, public ::testing::WithParamInterface<placement_case> {
  protected:
    void expect_output(const placement_case& c, const program_result& r, const std::string& out) {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, (c.warns ? warning(c.place) : "") + c.data_warning);
        EXPECT_TRUE(is_loader_section(out, c.kind, c.place));
        if (out.size() >= section_size) {
            EXPECT_EQ(out.substr(section_size), c.data);
        }
    }
};

TEST_P(placements, through_pipes) {
    const placement_case& c = GetParam();
    program_result r = run_with_input(c.args, c.input);
    expect_output(c, r, r.out);
}

TEST_P(placements, through_named_files) {
    const placement_case& c = GetParam();
    put("in.bin", c.input);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"in.bin", "out.lod"});
    program_result r = run(args);
    EXPECT_EQ(r.out, "");
    expect_output(c, r, get("out.lod"));
}

const std::string nop = "\xEA";
constexpr auto cs = loader_kind::checksum;
constexpr auto qs = loader_kind::qsave;

INSTANTIATE_TEST_SUITE_P(
    checksum, placements,
    ::testing::Values(
        placement_case{"worked_example",
                       {"-i", "-l0300"},
                       example_input,
                       cs,
                       0x1E00,
                       record(";030300A90060010F"),
                       false},
        placement_case{"typical_run",
                       {"-i", "-l0300", "-g0300"},
                       example_input,
                       cs,
                       0x1E00,
                       record(";030300A90060010F") + "$0300",
                       false},
        placement_case{"given_place_empty_input", {"-i0300"}, "", cs, 0x0300, "", false},
        placement_case{
            "given_place_empty_input_go", {"-i0300", "-g0300"}, "", cs, 0x0300, "$0300", false},
        placement_case{"wrapping_place", {"-iFFFE"}, "", cs, 0xFFFE, "", true},
        placement_case{"wrapping_place_with_data",
                       {"-iFFFE"},
                       example_input,
                       cs,
                       0xFFFE,
                       record(";030000A90060010C"),
                       true,
                       data_warning(0x0000, 0x0002)},
        placement_case{"load_031B_keeps_fixed_place",
                       {"-i", "-l031B"},
                       nop,
                       cs,
                       0x1E00,
                       record(";01031BEA0109"),
                       false},
        // A page below $031C-$0334 would reach into $0218-$0234.
        placement_case{"load_031C_keeps_fixed_place",
                       {"-i", "-l031C"},
                       nop,
                       cs,
                       0x1E00,
                       record(";01031CEA010A"),
                       false},
        placement_case{"load_0334_keeps_fixed_place",
                       {"-i", "-l0334"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010334EA0122"),
                       false},
        placement_case{"load_0335_page_below",
                       {"-i", "-l0335"},
                       nop,
                       cs,
                       0x0235,
                       record(";010335EA0123"),
                       false},
        placement_case{"load_0200_keeps_data",
                       {"-i", "-l0200"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010200EA00ED"),
                       false,
                       data_warning(0x0200, 0x0200)},
        placement_case{"load_0234_warns_for_the_data",
                       {"-i", "-l0234"},
                       std::string(2, '\0'),
                       cs,
                       0x1E00,
                       record(";02023400000038"),
                       false,
                       data_warning(0x0234, 0x0235)},
        placement_case{"load_0235_is_quiet",
                       {"-i", "-l0235"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010235EA0122"),
                       false},
        placement_case{"load_01FF_moves_data",
                       {"-i", "-l01FF"},
                       nop,
                       cs,
                       0x1E00,
                       record(";011F00EA010A"),
                       false},
        placement_case{
            "no_load_moves_data", {"-i"}, nop, cs, 0x1E00, record(";011F00EA010A"), false},
        placement_case{"place_0_is_derived",
                       {"-i0", "-l0300"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010300EA00EE"),
                       false},
        placement_case{"place_x_is_derived",
                       {"-ix", "-l0300"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010300EA00EE"),
                       false},
        placement_case{"load_0400_page_below",
                       {"-i", "-l0400"},
                       nop,
                       cs,
                       0x0300,
                       record(";010400EA00EF"),
                       false},
        placement_case{"load_FFFF_page_below",
                       {"-i", "-lFFFF"},
                       nop,
                       cs,
                       0xFEFF,
                       record(";01FFFFEA02E9"),
                       false},
        placement_case{"given_place_and_load",
                       {"-l1000", "-i0300"},
                       nop,
                       cs,
                       0x0300,
                       record(";011000EA00FB"),
                       false},
        placement_case{"given_place_alone",
                       {"-i0300"},
                       nop,
                       cs,
                       0x0300,
                       record(";010000EA00EB"),
                       false,
                       data_warning(0x0000, 0x0000)},
        placement_case{"given_low_place_warns",
                       {"-l0100", "-i0050"},
                       nop,
                       cs,
                       0x0050,
                       record(";010100EA00EC"),
                       true,
                       data_warning(0x0100, 0x0100)},
        placement_case{
            "i_then_c", {"-i", "-c", "-l0300"}, nop, cs, 0x1E00, record(";010300EA00EE"), false},
        placement_case{
            "c_then_i", {"-C", "-I", "-l0300"}, nop, cs, 0x1E00, record(";010300EA00EE"), false},
        placement_case{"cr_lf_changes_nothing",
                       {"-i", "-t", "-l0300"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010300EA00EE"),
                       false},
        placement_case{"no_line_end_changes_nothing",
                       {"-i", "-t0", "-l0300"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010300EA00EE"),
                       false},
        placement_case{
            "no_padding", {"-i", "-p0", "-l0300"}, nop, cs, 0x1E00, ";010300EA00EE\r\n", false},
        placement_case{"most_padding",
                       {"-i", "-pFF", "-l0300"},
                       nop,
                       cs,
                       0x1E00,
                       record(";010300EA00EE", 255),
                       false},
        placement_case{"message_after_the_section",
                       {"-i", "-mHI;\\r\\n", "-l0300"},
                       nop,
                       cs,
                       0x1E00,
                       "HI\r\n" + record(";010300EA00EE"),
                       false},
        placement_case{"records_wrap_past_FFFF",
                       {"-i", "-lFFF0"},
                       std::string(25, '\0'),
                       cs,
                       0xFEF0,
                       record(";18FFF0" + std::string(48, '0') + "0207") + record(";010008000009"),
                       false,
                       data_warning(0xFFF0, 0x0008)},
        placement_case{"warns_at_0234", {"-i0234"}, "", cs, 0x0234, "", true},
        placement_case{"quiet_at_0235", {"-i0235"}, "", cs, 0x0235, "", false},
        placement_case{"quiet_at_FF0F", {"-iFF0F"}, "", cs, 0xFF0F, "", false},
        placement_case{"warns_at_FF10", {"-iFF10"}, "", cs, 0xFF10, "", true},
        placement_case{"warns_at_0001", {"-i1"}, "", cs, 0x0001, "", true}),
    [](const ::testing::TestParamInfo<placement_case>& tested) { return tested.param.name; });

INSTANTIATE_TEST_SUITE_P(
    qsave, placements,
    ::testing::Values(
        placement_case{"worked_example",
                       {"-i", "-q", "-l0300"},
                       example_input,
                       qs,
                       0x1E00,
                       "\x3B\x03\x03\x00\xA9\x00\x60\x01\x0F"s,
                       false},
        placement_case{"q_then_i",
                       {"-q", "-i", "-l0300"},
                       example_input,
                       qs,
                       0x1E00,
                       "\x3B\x03\x03\x00\xA9\x00\x60\x01\x0F"s,
                       false},
        placement_case{"with_go",
                       {"-i", "-q", "-l0300", "-g0300"},
                       example_input,
                       qs,
                       0x1E00,
                       "\x3B\x03\x03\x00\xA9\x00\x60\x01\x0F\x24\x03\x00"s,
                       false},
        placement_case{"given_place_empty_input", {"-i0300", "-q"}, "", qs, 0x0300, "", false},
        placement_case{"given_place_empty_input_go",
                       {"-i0300", "-q", "-g0300"},
                       "",
                       qs,
                       0x0300,
                       "\x24\x03\x00"s,
                       false},
        placement_case{"load_0400_page_below",
                       {"-i", "-q", "-l0400"},
                       nop,
                       qs,
                       0x0300,
                       "\x3B\x01\x04\x00\xEA\x00\xEF"s,
                       false},
        placement_case{"no_load_moves_data",
                       {"-i", "-q"},
                       nop,
                       qs,
                       0x1E00,
                       "\x3B\x01\x1F\x00\xEA\x01\x0A"s,
                       false},
        placement_case{"carry_into_high_byte", {"-i02F0", "-q"}, "", qs, 0x02F0, "", false},
        placement_case{"given_low_place_warns",
                       {"-i0050", "-q", "-l0100"},
                       nop,
                       qs,
                       0x0050,
                       "\x3B\x01\x01\x00\xEA\x00\xEC"s,
                       true,
                       data_warning(0x0100, 0x0100)},
        placement_case{"wrapping_place", {"-iFFFE", "-q"}, "", qs, 0xFFFE, "", true},
        placement_case{"options_it_does_not_read",
                       {"-i", "-q", "-mHI", "-p0", "-t", "-l0300"},
                       nop,
                       qs,
                       0x1E00,
                       "HI\x3B\x01\x03\x00\xEA\x00\xEE"s,
                       false}),
    [](const ::testing::TestParamInfo<placement_case>& tested) { return tested.param.name; });

// ---------------------------------------------------------------- data reaching the loader

struct size_case {
    const char* name;
    std::vector<std::string> args;
    size_t bytes;
    bool refused;
    std::string err = {};  // a warning, where the data is written
};

void PrintTo(const size_case& c, std::ostream* os) { *os << c.name; }

class data_size : public hybrid, public ::testing::WithParamInterface<size_case> {};

TEST_P(data_size, of_a_named_input_at_the_fixed_place) {
    const size_case& c = GetParam();
    put("in.bin", std::string(c.bytes, '\x55'));
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"in.bin", "out.lod"});
    program_result r = run(args);
    EXPECT_EQ(r.out, "");
    if (c.refused) {
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, overlap_message);
        EXPECT_EQ(directory_names(dir.path), std::vector<std::string>{"in.bin"});
    } else {
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(name_exists(dir.at("out.lod")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    edges, data_size,
    ::testing::Values(
        size_case{"fits_at_0300", {"-i", "-l0300"}, 0x1B00, false},
        size_case{"one_more_at_0300", {"-i", "-l0300"}, 0x1B01, true},
        size_case{"qsave_fits_at_0300", {"-i", "-q", "-l0300"}, 0x1B00, false},
        size_case{"qsave_one_more_at_0300", {"-q", "-i", "-l0300"}, 0x1B01, true},
        size_case{"place_0_one_more", {"-i0", "-l0300"}, 0x1B01, true},
        size_case{"fits_at_031B", {"-i", "-l031B"}, 0x1AE5, false},
        size_case{"one_more_at_031B", {"-i", "-l031B"}, 0x1AE6, true},
        size_case{"fits_at_0334", {"-i", "-l0334"}, 0x1ACC, false},
        size_case{"one_more_at_0334", {"-i", "-l0334"}, 0x1ACD, true},
        size_case{"fits_at_0200", {"-i", "-l0200"}, 0x1C00, false, data_warning(0x0200, 0x1DFF)},
        size_case{"one_more_at_0200", {"-i", "-l0200"}, 0x1C01, true},
        size_case{"page_below_is_not_checked", {"-i", "-l0335"}, 0x2000, false},
        // A page below $1F00 is $1E00 too, but there the data lies above the loader.
        size_case{"page_below_at_1E00_is_not_checked", {"-i", "-l1F00"}, 0x2000, false},
        size_case{"moved_data_is_not_checked", {"-i"}, 0x2000, false},
        size_case{"given_place_is_not_checked", {"-i0300", "-l0300"}, 0x2000, false},
        size_case{"plain_65v_is_not_checked", {"-i", "-v", "-l0300"}, 0x2000, false},
        size_case{"plain_checksum_is_not_checked", {"-c", "-l0300"}, 0x2000, false}),
    [](const ::testing::TestParamInfo<size_case>& tested) { return tested.param.name; });

// 66 bytes per record of 24: ";", 59 hex characters, CR, five NULs, LF.
constexpr size_t full_record = 66;

TEST_F(hybrid, largest_input_at_0300_is_written_in_full) {
    put("in.bin", std::string(0x1B00, '\0'));
    program_result r = run({"-i", "-l0300", "in.bin", "out.lod"});
    ASSERT_EQ(r.status, 0);
    std::string out = get("out.lod");
    EXPECT_TRUE(is_loader_section(out, cs, 0x1E00));
    ASSERT_EQ(out.size(), section_size + 288 * full_record);
    // The last record ends just below the loader: 24 bytes at $1DE8.
    EXPECT_EQ(out.substr(out.size() - full_record),
              record(";181DE8" + std::string(48, '0') + "011D"));
}

TEST_F(hybrid, oversized_standard_input_is_written) {
    std::string data(0x1B01, '\0');
    // The last, single byte lands on the loader's first byte at $1E00.
    std::string expected_tail = record(";011E0000001F");
    program_result piped = run_with_input({"-i", "-l0300"}, data);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_EQ(piped.out.size(), section_size + 288 * full_record + expected_tail.size());
    EXPECT_TRUE(piped.out.ends_with(expected_tail));

    put("in.bin", data);
    program_result redirected = run_program({.args = {"-i", "-l0300"},
                                             .directory = dir.path,
                                             .input = input_from::file,
                                             .input_data = "in.bin"});
    EXPECT_EQ(redirected.status, 0);
    EXPECT_EQ(redirected.err, "");
    EXPECT_EQ(redirected.out, piped.out);
}

TEST_F(hybrid, oversized_named_input_to_standard_output_writes_nothing) {
    put("in.bin", std::string(0x1B01, '\0'));
    program_result r = run({"-i", "-l0300", "in.bin"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, overlap_message);
    EXPECT_EQ(r.out, "");
}

TEST_F(hybrid, data_size_is_refused_before_the_output_is_looked_at) {
    put("in.bin", std::string(0x1B01, '\0'));
    put("out.lod", "keep");
    program_result r = run({"-i", "-l0300", "in.bin", "out.lod"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, overlap_message);
    EXPECT_EQ(get("out.lod"), "keep");

    r = run({"-i", "-l0300", "missing.bin", "out.lod"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, open_input_message);
}

// ---------------------------------------------------------------- the warning's moment

TEST_F(hybrid, no_warning_when_the_run_is_refused) {
    put("in.bin", nop);
    put("out.lod", "keep");
    program_result r = run({"-i0050", "-l0100", "in.bin", "out.lod"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Output file out.lod exists! Use -f to force overwrite.\r\n");
    EXPECT_EQ(get("out.lod"), "keep");

    r = run({"-i0050", "missing.bin", "new.lod"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, open_input_message);
    EXPECT_FALSE(name_exists(dir.at("new.lod")));

    r = run({"-i0050", "-f", "in.bin", "in.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, same_file_message);
    EXPECT_EQ(get("in.bin"), nop);
}

TEST_F(hybrid, warning_then_write_error) {
    program_result r = run_program({.args = {"-i0050", "-l0100"},
                                    .directory = dir.path,
                                    .input = input_from::bytes,
                                    .input_data = nop,
                                    .output = output_to::file,
                                    .output_path = "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, warning(0x0050) + write_message);
}

// ---------------------------------------------------------------- read errors after the section

TEST_F(hybrid, directory_input_leaves_the_section_without_data_or_go_record) {
    ASSERT_EQ(::mkdir(dir.at("sub").c_str(), 0755), 0);
    struct {
        std::vector<std::string> args;
        loader_kind kind;
        int place;
        std::string err;
    } cases[] = {
        {{"-i", "-g0300", "sub"}, cs, 0x1E00, read_message},
        {{"-i", "-l0300", "-mHI", "-g0300", "sub"}, cs, 0x1E00, read_message},
        {{"-i", "-q", "-g0300", "sub"}, qs, 0x1E00, read_message},
        {{"-i0050", "-g0300", "sub"}, cs, 0x0050, warning(0x0050) + read_message},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        program_result r = run(c.args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(is_loader_section(r.out, c.kind, c.place));
        std::string after = r.out.size() > section_size ? r.out.substr(section_size) : "";
        EXPECT_TRUE(after.empty() || after == "HI") << after;
    }
}

}  // namespace
