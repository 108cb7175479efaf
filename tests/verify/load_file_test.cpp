// korvane-verify's run on a load file in memory: what it returns for the
// shell to write (report, image, listing, Intel HEX, status) and what it
// refuses, each case as the program gives it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "verify/verify_run.h"

namespace {

using bytes = std::vector<unsigned char>;

bytes of(const std::string& text) { return bytes(text.begin(), text.end()); }

const std::string basic_stream("10 END\r\0\0POKE 515,0\r", 20);

struct load_file_case {
    const char* name;
    verify_settings settings;
    std::string file;
    int status;
    std::string error;  // with verify_trouble, else the report
    bytes image;
    bytes listing;
    std::string hex;
};

const load_file_case cases[] = {
    {"65v_two_ranges_with_image",
     {.image_name = "img"},
     ".0300/A9\r00\r.0310/60\r.0300G",
     verify_clean,
     "format: 65V (recognised)\nrange: $0300-$0301 2 bytes\nrange: $0310 1 byte\n"
     "gap: $0302-$030F 14 bytes\nrecords: 2\ngo: $0300\nimage: $0300-$0310 17 bytes to img\n"
     "faults: 0\n",
     {0xA9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x60},
     {},
     ":02030000A90052\n:01031000608C\n:0400000500000300F4\n:00000001FF\n"},
    {"checksum_fault",
     {.format = file_format::checksum},
     ";0303000A9006000AC$0300",
     verify_faults,
     "format: checksum\nrange: $0300-$0302 3 bytes\nrecords: 1\ngo: $0300\n"
     "fault at byte 0 ($0300): record sum 000A, but its bytes sum to 00A6\nfaults: 1\n",
     {0x0A, 0x90, 0x06},
     {},
     ":030300000A90065A\n:0400000500000300F4\n:00000001FF\n"},
    {"basic_forced",
     {.format = file_format::basic},
     basic_stream,
     verify_clean,
     "format: BASIC listing (forced)\nlines: 1 numbered, lowest 10, highest 10\n"
     "end: POKE 515,0\npacing: checked for 300 baud\nfaults: 0\n",
     {},
     of("10 END\n"),
     ""},
    {"basic_at_1200",
     {.format = file_format::basic, .basic_baud = 1200},
     basic_stream,
     verify_faults,
     "format: BASIC listing (forced)\nlines: 1 numbered, lowest 10, highest 10\n"
     "end: POKE 515,0\npacing: checked for 1200 baud\n"
     "fault at byte 0 (line 10): 2 NULs after the line, BASIC needs 6 at 1200 baud\n"
     "fault at byte 9: 0 NULs after its 8th character, BASIC needs 3 at 1200 baud\nfaults: 2\n",
     {},
     of("10 END\n"),
     ""},
    {"basic_recognised_with_hex",
     {.hex_name = "h"},
     basic_stream,
     verify_trouble,
     "h: a BASIC listing loads no memory image to write as Intel HEX; -o writes the program as "
     "a listing",
     {},
     {},
     ""},
    {"unrecognised",
     {},
     "garbage",
     verify_trouble,
     "in: the format cannot be told from the start of the input; give one of -v -a -c -q -i -b",
     {},
     {},
     ""},
};

class load_files : public ::testing::TestWithParam<load_file_case> {};

TEST_P(load_files, give_what_korvane_verify_writes) {
    const load_file_case& c = GetParam();
    const verify_output out = verify_load_file(c.settings, of(c.file), "in", nullptr);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(c.status == verify_trouble ? out.error : out.report, c.error);
    if (c.status == verify_trouble) {
        EXPECT_EQ(out.report, "");
    }
    EXPECT_EQ(out.image, c.image);
    EXPECT_EQ(out.listing, c.listing);
    EXPECT_EQ(out.hex, c.hex);
}

INSTANTIATE_TEST_SUITE_P(verify_load_file, load_files, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<load_file_case>& tested) {
                             return tested.param.name;
                         });

// A recording's line heads the report, its faults count, and its bit rate
// is the one a BASIC stream's NULs are checked for.
TEST(verify_load_file, takes_the_recording_into_the_report_and_the_pacing) {
    const audio_summary audio{"1200 baud, speed +0.0%, 20 bytes, 1 faults",
                              {{0, "0.500 s (byte 0)", "framing error"}},
                              0,
                              1200};
    const verify_output out = verify_load_file({}, of(basic_stream), "in", &audio);
    EXPECT_EQ(out.status, verify_faults);
    EXPECT_EQ(out.report,
              "audio: 1200 baud, speed +0.0%, 20 bytes, 1 faults\n"
              "format: BASIC listing (recognised)\nlines: 1 numbered, lowest 10, highest 10\n"
              "end: POKE 515,0\npacing: checked for 1200 baud\n"
              "fault at 0.500 s (byte 0): framing error\n"
              "fault at byte 0 (line 10): 2 NULs after the line, BASIC needs 6 at 1200 baud\n"
              "fault at byte 9: 0 NULs after its 8th character, BASIC needs 3 at 1200 baud\n"
              "faults: 3\n");
}

}  // namespace
