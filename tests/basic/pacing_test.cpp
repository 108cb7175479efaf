// The NULs BASIC needs after a line: the smallest n with
// (n + 1) * 10,813,440 > P * baud, P = 40,000 + 3,300 L + 20 B, at the points
// where n steps, worked out by hand; and what a line adds to B.
#include "basic/pacing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct nul_case {
    int baud;
    size_t length;    // L
    int64_t earlier;  // B
    int64_t nuls;
};

const nul_case edges[] = {
    // 300 baud, 36,044.8 cycles a character: P = 72,080 against 72,100,
    // where 2 x 36,044.8 = 72,089.6 lies between.
    {300, 9, 119, 1},
    {300, 9, 120, 2},
    // P = 901,120 is 25 characters exactly: (n + 1) c must exceed it.
    {300, 200, 10056, 25},
    {300, 200, 10055, 24},
    // 600 baud, 18,022.4: P = 53,200 and 56,500 about 3 x 18,022.4 = 54,067.2.
    {600, 4, 0, 2},
    {600, 5, 0, 3},
    // 1200 baud, 9,011.2: P = 43,300 and 46,600 about 5 x 9,011.2 = 45,056.
    {1200, 1, 0, 4},
    {1200, 2, 0, 5},
};

TEST(pace_line, steps_where_the_formula_does) {
    for (const nul_case& c : edges) {
        basic_pacing pacing{c.baud, eleven_bit_character, c.earlier};
        std::string line(c.length, 'A');
        line[0] = '1';
        EXPECT_EQ(pace_line(pacing, line), c.nuls)
            << c.baud << " baud, L " << c.length << ", B " << c.earlier;
    }
}

TEST(pace_line, counts_numbered_lines_into_b_with_5_more_each) {
    basic_pacing pacing{300};
    pace_line(pacing, "10 A");       // 4 + 5
    pace_line(pacing, "PRINT 1");    // no number: nothing
    pace_line(pacing, "70000 B  ");  // numbered, if above 63999: 9 + 5
    EXPECT_EQ(pacing.earlier, 23);
}

}  // namespace
