// The words for what the decoder found, and a recording's line and faults in
// korvane-verify's report: the audio line first, and each of its faults
// before the load file's own at the same byte.
#include <gtest/gtest.h>

#include "tape/recording.h"
#include "verify/report.h"

namespace {

TEST(audio_report, puts_the_recordings_faults_among_the_files_by_byte) {
    decoding decoded;
    decoded.format = file_format::checksum;
    decoded.faults = {{5, 0x0300, "record sum 0101, but its bytes sum to 0100"},
                      {12, -1, "1 byte after the go record"}};
    memory_map map = map_memory(decoded);
    audio_summary audio{"300 baud, speed -1.5%, 13 bytes, 3 faults",
                        {{3, "1.250 s (byte 3)", "framing error"},
                         {5, "1.300 s (bytes 5-6)", "dropout"},
                         {13, "1.500 s (byte 13)", "framing error"}}};
    EXPECT_EQ(report_text(decoded, true, map, collect_faults(decoded, map), nullptr, &audio),
              "audio: 300 baud, speed -1.5%, 13 bytes, 3 faults\n"
              "format: checksum (recognised)\n"
              "range: none\n"
              "records: 0\n"
              "go: none\n"
              "fault at 1.250 s (byte 3): framing error\n"
              "fault at 1.300 s (bytes 5-6): dropout\n"
              "fault at byte 5 ($0300): record sum 0101, but its bytes sum to 0100\n"
              "fault at byte 12: 1 byte after the go record\n"
              "fault at 1.500 s (byte 13): framing error\n"
              "faults: 5\n");
}

TEST(decode_words, say_the_rate_speed_bytes_and_faults) {
    const tape_fault framing{tape_fault_kind::framing, 12.3454, 4567, 4567};
    const tape_fault dropout{tape_fault_kind::dropout, 30.4, 1383, 1385};
    const struct {
        int baud;
        double speed;
        int64_t bytes;
        size_t faults;
        const char* summary;
    } cases[] = {
        {300, 0.021, 12294, 0, "300 baud, speed +2.1%, 12294 bytes, 0 faults"},
        {1200, -0.0004, 1, 1, "1200 baud, speed +0.0%, 1 byte, 1 fault"},
        {600, -0.1, 0, 2, "600 baud, speed -10.0%, 0 bytes, 2 faults"},
        {300, 0.0996, 2, 0, "300 baud, speed +10.0%, 2 bytes, 0 faults"},
    };
    for (const auto& c : cases) {
        decode_result result;
        result.signal = true;
        result.baud = c.baud;
        result.speed = c.speed;
        result.bytes = c.bytes;
        result.faults.assign(c.faults, framing);
        result.fault_count = static_cast<int64_t>(c.faults);
        EXPECT_EQ(decode_summary_text(result), c.summary);
    }
    EXPECT_EQ(fault_place_text(framing), "12.345 s (byte 4567)");
    EXPECT_EQ(fault_place_text(dropout), "30.400 s (bytes 1383-1385)");
    EXPECT_STREQ(fault_kind_text(framing.kind), "framing error");
    EXPECT_STREQ(fault_kind_text(dropout.kind), "dropout");
}

}  // namespace
