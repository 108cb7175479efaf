// BASIC streams read back: what is recognised as one, whole reports of a
// stream with too few NULs, and the program BASIC holds after korvane -b's
// stream of a listing it would mangle, written by -o.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "verify_runs.h"

namespace {

using namespace std::string_literals;

TEST(basic_recognition, takes_a_first_line_that_begins_with_a_digit) {
    const std::pair<std::string, std::string> cases[] = {
        {"10 PRINT\n20 END\n", "BASIC listing (recognised)"},
        {"\0\r\n \t10 PRINT"s, "BASIC listing (recognised)"},
        // Records after message text that begins with a digit.
        {"10 LOAD\r\n;030300A90060010F\r\n", "checksum (recognised)"},
        {run_korvane({"-c", "-m12", "-l0300"}, "\xA9\x00\x60"s).out, "checksum (recognised)"},
        {run_korvane({"-q", "-m12", "-l0300"}, "\xA9\x00\x60"s).out, "QSave (recognised)"},
    };
    for (const auto& [file, format] : cases) {
        EXPECT_EQ(lines_after(run_verify({}, file).out, "format: "),
                  std::vector<std::string>{format})
            << file;
    }
}

// "10 PRINT "HI"" needs 9 NULs at 1200 baud; "20 GOTO 10" comes last and
// needs none after it.
const std::string short_stream = "10 PRINT \"HI\"\r\0"s + "20 GOTO 10\r";

TEST(basic_report, names_each_place_with_too_few_nuls) {
    program_result r = run_verify({"-b1200"}, short_stream);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "format: BASIC listing (forced)\n"
              "lines: 2 numbered, lowest 10, highest 20\n"
              "end: none (press a key after the tape to stop the load)\n"
              "pacing: checked for 1200 baud\n"
              "fault at byte 0 (line 10): 0 NULs after its 8th character, BASIC needs 3 at "
              "1200 baud\n"
              "fault at byte 0 (line 10): 1 NUL after the line, BASIC needs 9 at 1200 baud\n"
              "fault at byte 15 (line 20): 0 NULs after its 8th character, BASIC needs 3 at "
              "1200 baud\n"
              "faults: 3\n");
}

TEST(basic_round_trip, writes_the_program_basic_holds) {
    const std::string listing =
        "30 PRINT \"C\"\n"
        "10 PRINT \"A\"\n"
        "20 GOTO 10\n"
        "30 PRINT \"D\"\n"              // replaces the first 30
        "20\n"                          // deletes 20
        "40 PRINT \"X_Y\"\n"            // rubbed out: 40 PRINT "Y"
        "50 PRINT \"@60 PRINT \"E\"\n"  // cancelled: 60 PRINT "E"
        "70  \xC1\xC2\n"                // top bits cleared: 70 AB
        "PRINT \"RUN NOW\"\n"           // runs, is not kept
        "64000 END\n"                   // rejected
        "80 REM " +
        std::string(70, 'Z') + "\n";  // 71 characters kept
    program_result made = run_korvane({"-b600", "-g"}, listing);
    ASSERT_EQ(made.status, 0);
    scratch_dir dir;
    program_result r = run_verify({"-o", "prog.bas"}, made.out, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines_after(r.out, "lines: "),
              std::vector<std::string>{"6 numbered, lowest 10, highest 80"});
    EXPECT_EQ(lines_after(r.out, "end: "), std::vector<std::string>{"POKE 515,0:RUN"});
    // korvane's warnings, and no fault of pacing.
    EXPECT_EQ(lines_after(r.out, "faults: "), std::vector<std::string>{"8"});
    EXPECT_EQ(read_file(dir.at("prog.bas")),
              "10 PRINT \"A\"\n"
              "30 PRINT \"D\"\n"
              "40 PRINT \"Y\"\n"
              "60 PRINT \"E\"\n"
              "70 AB\n"
              "80 REM " +
                  std::string(64, 'Z') + "\n");
}

// BASIC keeps no bytes at addresses: -O is refused and nothing is written.
TEST(basic_hex, is_refused) {
    scratch_dir dir;
    program_result r = run_verify({"-O", "prog.hex"}, "10 END\r\0\0POKE 515,0\r", dir.path);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "korvane-verify: prog.hex: a BASIC listing loads no memory image to write as Intel "
              "HEX; -o writes the program as a listing\n");
    EXPECT_EQ(directory_names(dir.path), std::vector<std::string>{});
}

}  // namespace
