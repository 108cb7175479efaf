// Splitting a listing or a stream into lines: the line ends, blanks, NULs,
// where each line begins and the NULs a stream has after and inside it.
#include "basic/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using namespace std::string_literals;

// "offset line_in_file [text] nuls_after nuls_inside..." for each line.
std::string lines_of(const std::string& bytes) {
    std::string summary;
    for (const listing_line& line :
         split_listing({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()})) {
        summary += std::to_string(line.offset) + " " + std::to_string(line.line_in_file) + " [" +
                   line.text + "] " + std::to_string(line.nuls_after);
        for (int64_t n : line.nuls_inside) summary.append(" ").append(std::to_string(n));
        summary += "\n";
    }
    return summary;
}

TEST(split_listing, gives_each_line_as_basic_reads_it) {
    const std::pair<std::string, std::string> cases[] = {
        // Blank and empty lines are skipped and counted; leading blanks are
        // dropped, trailing ones kept.
        {"\n \t\r\n  10 A  \n\t20 B", "5 3 [10 A  ] 0\n14 4 [20 B] 0\n"},
        // NULs between CR and LF leave them one line end.
        {"10 A\r\0\0\n\0\0\00020 B\r\0"s, "0 1 [10 A] 2\n11 2 [20 B] 1\n"},
        // After the 8th and 16th characters while more follow; not after the
        // 24th, the last: NULs before the CR are no pause after the line.
        {"12345678\0\0\0ABCDEFGH\0IJKLMNOP\0\0\r\0"s, "0 1 [12345678ABCDEFGHIJKLMNOP] 1 3 1\n"},
    };
    for (const auto& [bytes, lines] : cases) EXPECT_EQ(lines_of(bytes), lines);
}

}  // namespace
