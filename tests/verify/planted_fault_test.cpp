// Faults planted by hand in good files that korvane wrote: each is reported
// at the byte offset where the target meets it, and the run ends with 1.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "verify_runs.h"

namespace {

// n input bytes 10 11 12 ...: no byte that starts a record or a command.
std::string ramp(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(0x10 + i);
    return bytes;
}

struct planted_fault {
    const char* name;
    std::vector<std::string> korvane_args;
    size_t input_size;
    const char* letter;                       // for korvane-verify
    std::function<void(std::string&)> plant;  // changes the good file
    const char* expected;                     // the start of a report line
};

void PrintTo(const planted_fault& p, std::ostream* os) { *os << p.name; }

void keep(std::string&) {}

// Layouts of the good files, by offset:
// -c -l0300 -g0300, 30 bytes: record ";18 0300 ..." at 0, its data digits from 7,
//   CR NUL*5 LF at 59-65; record ";06 0318 ..." at 66, data from 73, sum at 85;
//   go record "$0300" at 96; 101 bytes.
// -q -l0300 -g0300, 60 bytes: record 3B 38 03 00 at 0, data from 4, sum at 60;
//   record 3B 04 03 38 at 62; go record at 72; 75 bytes.
// -v -l0300 -g0300, 4 bytes: ".0300/" at 0, entries "10\r" ... from 6, ".0300G" at 18.
// -a -l0300 -g0400, 4 bytes: "L0300\r" at 0, "10 11 12 13 " from 6, "R" at 18, the
//   start sequence from 19.
// -i -l0400 -g0400, 4 bytes: ".0300/" at 0, loader entries from 6 (3 bytes each),
//   ".0305G" at 729, then checksum records from 735, the first data digit at 742.
const planted_fault faults[] = {
    {"checksum_flipped_digit",
     {"-c", "-l0300", "-g0300"},
     30,
     "-c",
     [](std::string& f) { f[75] = '3'; },
     "fault at byte 66 ($0318): record sum "},
    {"checksum_non_hex",
     {"-c", "-l0300", "-g0300"},
     30,
     "-c",
     [](std::string& f) { f[75] = 'X'; },
     "fault at byte 75 ($0319): 'X' where a hex digit is needed"},
    {"checksum_dropped_byte",
     {"-c", "-l0300", "-g0300"},
     30,
     "-c",
     [](std::string& f) { f.erase(75, 1); },
     "fault at byte 66 ($0318): record sum "},
    {"checksum_count_0",
     {"-c", "-l0300", "-g0300"},
     30,
     "-c",
     [](std::string& f) { f.replace(67, 2, "00"); },
     "fault at byte 66: record with a count of 0, which the loader drops"},
    {"checksum_truncated",
     {"-c", "-l0300", "-g0300"},
     30,
     "-c",
     [](std::string& f) { f.resize(80); },
     "fault at byte 66 ($0318): record cut short by the end of the file"},
    {"checksum_go_truncated",
     {"-c", "-l0300", "-g0300"},
     30,
     "-c",
     [](std::string& f) { f.resize(99); },
     "fault at byte 96: go record cut short by the end of the file"},
    {"checksum_after_go",
     {"-c", "-l0300", "-g0300"},
     30,
     "-c",
     [](std::string& f) { f += "\r\n"; },
     "fault at byte 101: 2 bytes after the go record"},
    {"qsave_flipped_bit",
     {"-q", "-l0300", "-g0300"},
     60,
     "-q",
     [](std::string& f) { f[10] ^= 1; },
     "fault at byte 0 ($0300): record sum "},
    {"qsave_count_57",
     {"-q", "-l0300", "-g0300"},
     60,
     "-q",
     [](std::string& f) { f[63] = 57; },
     "fault at byte 62: record with a count of 57, which the loader drops (56 at most)"},
    {"qsave_truncated",
     {"-q", "-l0300", "-g0300"},
     60,
     "-q",
     [](std::string& f) { f.resize(70); },
     "fault at byte 62 ($0338): record cut short by the end of the file"},
    {"v65_dropped_cr",
     {"-v", "-l0300", "-g0300"},
     4,
     "-v",
     [](std::string& f) { f.erase(8, 1); },
     "fault at byte 6 ($0300): data entry of 4 hex digits; the monitor needs 2"},
    {"v65_non_hex",
     {"-v", "-l0300", "-g0300"},
     4,
     "-v",
     [](std::string& f) { f[9] = 'Z'; },
     "fault at byte 9 ($0301): 'Z' where a hex digit is needed"},
    {"v65_after_go",
     {"-v", "-l0300", "-g0300"},
     4,
     "-v",
     [](std::string& f) { f += "X"; },
     "fault at byte 24: 1 byte after the go command"},
    {"v65_loaded_twice",
     {"-v", "-l0300", "-g0300"},
     4,
     "-v",
     [](std::string& f) { f.insert(18, ".0301/12\r"); },
     "fault at byte 24 ($0301): $0301 loaded twice, first at byte 9"},
    {"a65_non_hex",
     {"-a", "-l0300", "-g0400"},
     4,
     "-a",
     [](std::string& f) { f[9] = 'Q'; },
     "fault at byte 9 ($0301): 'Q' where a hex digit is needed"},
    {"a65_truncated",
     {"-a", "-l0300", "-g0400"},
     4,
     "-a",
     [](std::string& f) { f.resize(12); },
     "fault at byte 0: load not ended by \"R\" before the end of the file"},
    {"hybrid_loader_byte",
     {"-i", "-l0400", "-g0400"},
     4,
     "-i",
     [](std::string& f) { f[6 + 3 * 0x10 + 1] = '1'; },
     "fault at byte 54 ($0310): loader section matches neither loader; nearest is the "
     "checksum loader, which has $20 here, not $21 (1 byte differs)"},
    {"hybrid_loader_lower_case",  // "C9" of the loader's byte $08 entered as "c9"
     {"-i", "-l0400", "-g0400"},
     4,
     "-i",
     [](std::string& f) { f[6 + 3 * 0x08] = 'c'; },
     "fault at byte 31 ($0308): loader section matches neither loader; nearest is the "
     "checksum loader, which has $C9 here, not $09 (1 byte differs)"},
    {"hybrid_started_wrong",
     {"-i", "-l0400", "-g0400"},
     4,
     "-i",
     [](std::string& f) { f[733] = '0'; },
     "fault at byte 729 ($0300): the loader is started at $0300; its entry is $0305"},
    {"hybrid_loader_in_system_area",
     {"-i0100", "-l0400"},
     4,
     "-i",
     keep,
     "fault at byte 0 ($0100): loader at $0100 lies in the target's system area "
     "($0000-$0234)"},
    {"hybrid_data_in_system_area",
     {"-i", "-l0200"},
     4,
     "-i",
     keep,
     "fault at byte 742 ($0200): data at $0200-$0203 reaches into the target's system area "
     "($0000-$0234), which the loader reads through"},
    {"hybrid_data_over_loader",
     {"-i0400", "-l0400"},
     4,
     "-i",
     keep,
     "fault at byte 742 ($0400): data $0400-$0403 overwrites the loader $0400-$04F0"},
};

class planted : public ::testing::TestWithParam<planted_fault> {};

TEST_P(planted, is_reported_at_its_offset_with_status_1) {
    const planted_fault& p = GetParam();
    program_result good = run_korvane(p.korvane_args, ramp(p.input_size));
    ASSERT_EQ(good.status, 0);
    std::string file = good.out;
    p.plant(file);
    program_result r = run_verify({p.letter}, file);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(lines_after(r.out, p.expected).empty())
        << "no line starting \"" << p.expected << "\" in\n"
        << r.out;
}

INSTANTIATE_TEST_SUITE_P(faults, planted, ::testing::ValuesIn(faults),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
