// Whole reports written out by hand for small files, the guard on the image
// file, usage errors and files whose format cannot be told.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "verify_runs.h"

namespace {

using namespace std::string_literals;

const std::string usage_line =
    "usage: korvane-verify [-v|-a|-c|-q|-i|-b[BAUD]] [-o IMAGE] [-O HEX] [-f] [FILE]\n";

struct whole_report {
    const char* name;
    std::vector<std::string> args;
    std::string file;
    int status;
    std::string report;
    std::string image;  // back.bin, when -o is given
};

void PrintTo(const whole_report& w, std::ostream* os) { *os << w.name; }

std::string qsave_count_0_file() {
    std::string file = "\x3B\x00\x12\x00"s;
    for (int i = 0; i < 256; ++i) file += static_cast<char>(i);
    // 0x00 + 0x12 + 0x00 + (0 + 1 + ... + 255) = 0x7F92
    return file + "\x7F\x92"s;
}

std::string image_0_to_255() {
    std::string image;
    for (int i = 0; i < 256; ++i) image += static_cast<char>(i);
    return image;
}

const whole_report reports[] = {
    {"checksum_clean",
     {"-o", "back.bin"},
     ";030300A90060010F\r\0\0\0\0\0\n$0300"s,
     0,
     "format: checksum (recognised)\n"
     "range: $0300-$0302 3 bytes\n"
     "records: 1\n"
     "go: $0300\n"
     "image: $0300-$0302 3 bytes to back.bin\n"
     "faults: 0\n",
     "\xA9\x00\x60"s},
    {"checksum_lower_case_bad_sum_and_trailing_byte",
     {"-c"},
     ";030300a90060010f\r\0\0\0\0\0\n;010303010009\r\n$0300\n"s,
     1,
     "format: checksum\n"
     "range: $0300-$0303 4 bytes\n"
     "records: 2\n"
     "go: $0300\n"
     "fault at byte 24 ($0303): record sum 0009, but its bytes sum to 0008\n"
     "fault at byte 44: 1 byte after the go record\n"
     "faults: 2\n",
     ""},
    {"v65_gap_filled_with_zeros",
     {"-o", "back.bin"},
     ".0300/01\r02\r.0305/03\r.0300G",
     0,
     "format: 65V (recognised)\n"
     "range: $0300-$0301 2 bytes\n"
     "range: $0305 1 byte\n"
     "gap: $0302-$0304 3 bytes\n"
     "records: 2\n"
     "go: $0300\n"
     "image: $0300-$0305 6 bytes to back.bin\n"
     "faults: 0\n",
     "\x01\x02\x00\x00\x00\x03"s},
    {"a65_start_from_what_the_data_leaves",
     {},
     "L0129\r00 00 00 04 FD 12 34 RGGGG",
     0,
     "format: 65A (recognised)\n"
     "range: $0129-$012F 7 bytes\n"
     "records: 1\n"
     "go: from the register save area, which the data leaves holding $1234\n"
     "faults: 0\n",
     ""},
    // $0129-$012D keep whatever they held: the restart's status and stack are unknown.
    {"a65_start_from_an_area_the_data_sets_in_part",
     {},
     "L012E\r12 34 RGGGG",
     1,
     "format: 65A (recognised)\n"
     "range: $012E-$012F 2 bytes\n"
     "records: 1\n"
     "go: from the register save area, which the data leaves holding $1234\n"
     "fault at byte 13: the 65A start restarts from $0129-$012F, which the file does not fully "
     "set\n"
     "faults: 1\n",
     ""},
    {"a65_start_sequence_over_the_data",
     {},
     "L012F\r01 RLLLLL0129\r00000004FD0400R\0\0\0G"s,
     1,
     "format: 65A (recognised)\n"
     "range: $012F 1 byte\n"
     "records: 1\n"
     "go: $0400, set in the register save area\n"
     "fault at byte 6 ($012F): the 65A start sequence overwrites data at $0129-$012F\n"
     "faults: 1\n",
     ""},
    {"a65_data_where_the_start_sequence_pushes",
     {},
     "L01FC\r01 RLLLLL0129\r00000004FD0400R\0\0\0G"s,
     1,
     "format: 65A (recognised)\n"
     "range: $01FC 1 byte\n"
     "records: 1\n"
     "go: $0400, set in the register save area\n"
     "fault at byte 6 ($01FC): data at $01FC-$01FC reaches into cells that the 65A monitor uses "
     "while it loads\n"
     "faults: 1\n",
     ""},
    {"v65_data_on_the_monitors_stack",
     {},
     ".0127/01\r02\r03\r",
     1,
     "format: 65V (recognised)\n"
     "range: $0127-$0129 3 bytes\n"
     "records: 1\n"
     "go: none\n"
     "fault at byte 6 ($0127): data at $0127-$0129 reaches into cells that the 65V monitor uses "
     "while it loads\n"
     "faults: 1\n",
     ""},
    // The monitors pass over a lower-case letter: a 65V entry keeps its one
    // other digit, an address its four others, and 65A pairs the digits
    // after it across the blanks.
    {"v65_lower_case_in_data_entry",
     {"-o", "back.bin"},
     ".0300/a9\r00\r.0300G",
     1,
     "format: 65V (recognised)\n"
     "range: $0300-$0301 2 bytes\n"
     "records: 1\n"
     "go: $0300\n"
     "image: $0300-$0301 2 bytes to back.bin\n"
     "fault at byte 6 ($0300): lower-case 'a' where the 65V monitor needs an upper-case hex "
     "digit: it is passed over\n"
     "fault at byte 7 ($0300): data entry of 1 hex digit; the monitor needs 2\n"
     "faults: 2\n",
     "\x09\x00"s},
    {"v65_lower_case_in_address",
     {},
     ".03a00/A9\r.0300G",
     1,
     "format: 65V (recognised)\n"
     "range: $0300 1 byte\n"
     "records: 1\n"
     "go: $0300\n"
     "fault at byte 3: lower-case 'a' where the 65V monitor needs an upper-case hex digit: it "
     "is passed over\n"
     "faults: 1\n",
     ""},
    {"a65_lower_case_shifts_the_pairs_after_it",
     {"-o", "back.bin"},
     "L0300\r01 a2 34 R",
     1,
     "format: 65A (recognised)\n"
     "range: $0300-$0301 2 bytes\n"
     "records: 1\n"
     "go: none\n"
     "image: $0300-$0301 2 bytes to back.bin\n"
     "fault at byte 9 ($0301): lower-case 'a' where the 65A monitor needs an upper-case hex "
     "digit: it is passed over\n"
     "fault at byte 11 ($0301): byte $20 where the second hex digit is needed\n"
     "fault at byte 14 ($0302): byte $20 where the second hex digit is needed\n"
     "faults: 3\n",
     "\x01\x23"s},
    {"qsave_count_0_stores_256_bytes",
     {"-q", "-o", "back.bin"},
     qsave_count_0_file(),
     0,
     "format: QSave\n"
     "range: $1200-$12FF 256 bytes\n"
     "records: 1\n"
     "go: none\n"
     "image: $1200-$12FF 256 bytes to back.bin\n"
     "faults: 0\n",
     image_0_to_255()},
};

class report : public ::testing::TestWithParam<whole_report> {};

TEST_P(report, is_written_in_full) {
    const whole_report& w = GetParam();
    scratch_dir dir;
    program_result r = run_verify(w.args, w.file, dir.path);
    EXPECT_EQ(r.status, w.status);
    EXPECT_EQ(r.out, w.report);
    EXPECT_EQ(r.err, "");
    if (name_exists(dir.at("back.bin"))) {
        EXPECT_EQ(read_file(dir.at("back.bin")), w.image);
    }
}

INSTANTIATE_TEST_SUITE_P(hand_written, report, ::testing::ValuesIn(reports),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(image_guard, an_existing_image_is_kept_without_f_and_replaced_with_it) {
    scratch_dir dir;
    write_file(dir.at("prog.lod"), ".0300/A9\r.0300G");
    write_file(dir.at("back.bin"), "old");
    auto verify = [&](std::vector<std::string> args) {
        return run_program(
            {.args = std::move(args), .directory = dir.path, .program = KORVANE_VERIFY_BINARY});
    };

    program_result refused = verify({"-o", "back.bin", "prog.lod"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "korvane-verify: back.bin: exists; give -f to replace it\n");
    EXPECT_EQ(read_file(dir.at("back.bin")), "old");

    program_result replaced = verify({"prog.lod", "-fo", "back.bin"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(read_file(dir.at("back.bin")), "\xA9");

    program_result same = verify({"-f", "-o", "prog.lod", "prog.lod"});
    EXPECT_EQ(same.status, 2);
    EXPECT_EQ(same.err, "korvane-verify: prog.lod: is the input file\n");
    EXPECT_EQ(read_file(dir.at("prog.lod")), ".0300/A9\r.0300G");
}

TEST(usage, errors_go_to_standard_error_with_status_2) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-x"}, "unknown option -x"},
        {{"-v", "-c"}, "only one of -v -a -c -q -i -b may be given"},
        {{"-b450"}, "-b takes 300, 600 or 1200, attached (-b600), not \"450\""},
        {{"-o"}, "-o needs an IMAGE name"},
        {{"-O"}, "-O needs a HEX name"},
        {{"-O", "-"}, "-O needs a file name; the report goes to standard output"},
        {{"a.lod", "b.lod"}, "only one FILE may be given"},
    };
    for (const auto& [args, reason] : cases) {
        program_result r = run_verify(args, "");
        EXPECT_EQ(r.status, 2) << reason;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "korvane-verify: " + reason + "\n" + usage_line);
    }
    program_result missing = run_verify({"missing.lod"}, "");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "korvane-verify: missing.lod: No such file or directory\n");
}

// A file that reads both as checksum text and as a QSave record: ";" and the
// digits 0 of count and address, and a binary record of count $30 at $3030.
std::string checksum_or_qsave() {
    std::string file = ";000000" + std::string(45, 'A');
    unsigned sum = 0;
    for (size_t i = 1; i < file.size(); ++i) sum += static_cast<unsigned char>(file[i]);
    return file + static_cast<char>(sum >> 8) + static_cast<char>(sum & 0xFF);
}

TEST(recognition, asks_for_the_letter_where_the_format_is_ambiguous) {
    program_result hybrid = run_korvane({"-i", "-l0400", "-g0400"}, "\x10\x11"s);
    std::string damaged = hybrid.out;
    damaged[6 + 3 * 0x10 + 1] = '1';
    const std::pair<std::string, std::string> cases[] = {
        {damaged,
         "the input reads as a hybrid whose loader differs from the checksum loader in 1 byte, "
         "or as 65V with bytes after its go command; give -i or -v"},
        {checksum_or_qsave(),
         "the input reads both as checksum and as QSave records; give -c or -q"},
        {"", "the input is empty, so its format cannot be told; give one of -v -a -c -q -i -b"},
    };
    for (const auto& [file, reason] : cases) {
        program_result r = run_verify({}, file);
        EXPECT_EQ(r.status, 2) << reason;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "korvane-verify: standard input: " + reason + "\n");
    }
    // With the letter, each is read as that format.
    EXPECT_EQ(run_verify({"-i"}, damaged).status, 1);
    EXPECT_EQ(run_verify({"-q"}, checksum_or_qsave()).status, 0);
}

// A 65A load with a stray ";" or "$" that could start a record is 65A; a
// message beginning like a load gives way to records the loader takes whole.
TEST(recognition, a_65a_load_gives_way_only_to_records_the_loader_takes) {
    const std::string data = "\x10\x11";
    const std::pair<std::string, std::string> cases[] = {
        {"\r\nL0300A9;01020304050607R", "65A"},  // a record whose sum is not 000A
        {"L0300A9$0060R", "65A"},                // a go record with more after it
        {run_korvane({"-c", "-mL0300", "-l0300"}, data).out, "checksum"},
        {run_korvane({"-q", "-mL0300", "-l0300"}, data).out, "QSave"},
        // A go record alone proves nothing: "$" is as likely a stray character.
        {run_korvane({"-c", "-mL0300", "-g0300"}, "").out, "65A"},
        {"L0400\r01 02 RLLLLL0129\r00000004FD0400R\0$\0G"s, "65A"},
        {"L04001234$5R", "65A"},
    };
    for (const auto& [file, format] : cases) {
        program_result r = run_verify({}, file);
        EXPECT_EQ(r.status, format == "65A" ? 1 : 0) << file;
        EXPECT_EQ(lines_after(r.out, "format: "),
                  std::vector<std::string>{format + " (recognised)"})
            << file;
    }
}

}  // namespace
