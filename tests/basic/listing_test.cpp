// Splitting a listing or a stream into lines: the line ends, blanks, NULs,
// where each line begins and the NULs a stream has after and inside it.
#include "basic/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct expected_line {
    size_t offset;
    long line_in_file;
    std::string text;
    int64_t nuls_after;
    std::vector<int64_t> nuls_inside;
};

struct split_case {
    const char* name;
    std::string bytes;
    std::vector<expected_line> lines;
};

const split_case cases[] = {
    {"lf_cr_lf_and_cr",
     "10 A\n20 B\r\n30 C\r40 D",
     {{0, 1, "10 A", 0, {}},
      {5, 2, "20 B", 0, {}},
      {11, 3, "30 C", 0, {}},
      {16, 4, "40 D", 0, {}}}},
    {"blank_and_empty_lines_skipped_and_counted",
     "\n \t\r\n  10 A  \n\t20 B",
     {{5, 3, "10 A  ", 0, {}}, {14, 4, "20 B", 0, {}}}},
    {"nuls_dropped_and_counted_after_a_cr",
     "10 A\r\0\0\n\0\0\00020 B\r\0"s,
     {{0, 1, "10 A", 2, {}}, {11, 2, "20 B", 1, {}}}},
    // After the 8th and 16th characters while more follow; not after the
    // 24th, the last: NULs before the CR are no pause after the line.
    {"nuls_inside",
     "12345678\0\0\0ABCDEFGH\0IJKLMNOP\0\0\r\0"s,
     {{0, 1, "12345678ABCDEFGHIJKLMNOP", 1, {3, 1}}}},
    {"nothing", "\r\n\0 "s, {}},
};

TEST(split_listing, gives_each_line_as_basic_reads_it) {
    for (const split_case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<listing_line> lines =
            split_listing({reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()});
        ASSERT_EQ(lines.size(), c.lines.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].offset, c.lines[i].offset) << i;
            EXPECT_EQ(lines[i].line_in_file, c.lines[i].line_in_file) << i;
            EXPECT_EQ(lines[i].text, c.lines[i].text) << i;
            EXPECT_EQ(lines[i].nuls_after, c.lines[i].nuls_after) << i;
            EXPECT_EQ(lines[i].nuls_inside, c.lines[i].nuls_inside) << i;
        }
    }
}

}  // namespace
