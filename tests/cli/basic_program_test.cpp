// korvane -b through the built binary: streams written out by hand from the
// NUL formula, every warning's words and the cap on them, and the listings it
// refuses with nothing created.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/program_fixture.h"

namespace {

const std::string not_basic_message = "\nThe input is not a BASIC listing.\n";
const std::string two_lines = "10 PRINT \"HI\"\n20 GOTO 10\n";

std::string nuls(size_t n) { return std::string(n, '\0'); }

struct stream_case {
    const char* name;
    std::vector<std::string> args;
    std::string listing;
    std::string stream;
};

// "10 PRINT "HI"": L 13, B 0, P 82,900; "20 GOTO 10": L 10, B 18, P 73,360.
// n = P baud / 10,813,440: 2 and 2 at 300 baud, 9 and 8 at 1200.
const stream_case streams[] = {
    {"at_300",
     {"-b"},
     two_lines,
     "10 PRINT \"HI\"\r" + nuls(2) + "20 GOTO 10\r" + nuls(2) + "POKE 515,0\r"},
    {"at_1200_with_go",
     {"-b1200", "-g"},
     two_lines,
     "10 PRINT" + nuls(3) + " \"HI\"\r" + nuls(9) + "20 GOTO " + nuls(3) + "10\r" + nuls(8) +
         "POKE 515" + nuls(3) + ",0:RUN\r"},
    {"padded_by_p",
     {"-B1200", "-p0A", "-g0300"},
     two_lines,
     "10 PRINT \"HI\"\r" + nuls(10) + "20 GOTO 10\r" + nuls(10) + "POKE 515,0:RUN\r"},
    // At 600 baud: L 4, B 0: P 53,200, 2; L 7, B 9: 63,280, 3; L 4, B 21: 53,620, 2.
    {"line_ends_and_blanks",
     {"-b600", "-l0300", "-t", "-mX"},
     "  10 A\r\n\r\n \t\r20 B   \r30 C",
     "10 A\r" + nuls(2) + "20 B   \r" + nuls(3) + "30 C\r" + nuls(2) + "POKE 515,0\r"},
    {"nothing_but_blanks", {"-b", "-g"}, " \n\t\r\n", ""},
};

class basic_streams : public program, public ::testing::WithParamInterface<stream_case> {};

TEST_P(basic_streams, are_written_with_the_nuls_basic_needs) {
    const stream_case& c = GetParam();
    program_result r = run_with_input(c.args, c.listing);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, c.stream);
}

INSTANTIATE_TEST_SUITE_P(listings, basic_streams, ::testing::ValuesIn(streams),
                         [](const ::testing::TestParamInfo<stream_case>& tested) {
                             return tested.param.name;
                         });

TEST_F(program, warns_of_every_line_basic_would_mangle_after_the_stream) {
    const std::string listing = "10 REM " + std::string(68, 'A') +
                                "\n"
                                "PRINT 1\n"
                                "\n"
                                "64000 END\n"
                                "20 print\n"
                                "30 A=\xC1\x01\n"
                                "40 PRINT \"A@B\"\n"
                                "50 PRINT \"A_B\"\n"
                                "20 END\n"
                                "20\n"
                                "60 REM lower\n"
                                "70 DATA abc, \"d:e\", f:PRINT \"g\"\n"
                                "65535\n"
                                "POKE 515,0\n";
    program_result r = run_with_input({"-b"}, listing);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 76), "10 REM " + std::string(68, 'A') + "\r");
    const char* const expected[] = {
        "line 1 of the listing has 75 characters; BASIC keeps 71 and drops the rest.",
        "line 2 of the listing has no line number; BASIC runs it during the load.",
        "line 4 of the listing is numbered above 63999; BASIC rejects it.",
        ("line 5 of the listing has lower-case letters outside quotes; BASIC reads no keywords "
         "in lower case."),
        "line 6 of the listing has a byte BASIC cannot take (C1).",
        "line 7 of the listing has @, with which BASIC cancels what it has read of the line.",
        "line 8 of the listing has _, with which BASIC rubs out the character before it.",
        "line 9 of the listing repeats line number 20; BASIC keeps the later.",
        "line 10 of the listing is only a line number; BASIC deletes line 20.",
        "line 13 of the listing is numbered above 63999; BASIC rejects it.",
        ("line 14 of the listing ends the load; BASIC reads the keyboard after it, not the lines "
         "that follow."),
    };
    std::string err;
    for (const char* text : expected) err += "\nWarning: " + std::string(text) + "\n";
    EXPECT_EQ(r.err, err);
}

TEST_F(program, gives_twenty_warnings_and_counts_the_rest) {
    std::string listing;
    for (int i = 0; i < 25; ++i) listing += "PRINT\n";
    program_result r = run_with_input({"-b"}, listing);
    std::string err;
    for (int i = 1; i <= 20; ++i) {
        err += "\nWarning: line " + std::to_string(i) +
               " of the listing has no line number; BASIC runs it during the load.\n";
    }
    EXPECT_EQ(r.err, err + "\nWarning: 5 more warnings not shown.\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(program, refuses_what_is_no_listing_and_creates_nothing) {
    // A line of exactly 1 MiB is a listing still; one byte more is none.
    std::string largest(1 << 20, 'A');
    largest[0] = '1';
    put("largest.bas", largest);
    put("larger.bas", largest + "\n");
    put("nul.bas", "10 A\n\0"s);
    ASSERT_EQ(::mkdir(dir.at("dir.bas").c_str(), 0755), 0);
    const std::pair<std::string, std::string> refused[] = {
        {"larger.bas", not_basic_message},
        {"nul.bas", not_basic_message},
        {"dir.bas", read_message},
    };
    for (const auto& [input, message] : refused) {
        program_result r = run({"-b", input, "out.txt"});
        EXPECT_EQ(r.status, 255) << input;
        EXPECT_EQ(r.err, message) << input;
        EXPECT_FALSE(name_exists(dir.at("out.txt"))) << input;
    }
    program_result r = run({"-b", "largest.bas", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(get("out.txt").substr(0, largest.size() + 1), largest + "\r");
}

}  // namespace
