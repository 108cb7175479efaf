// Whole conversions through an output that accepts exactly N bytes and then
// fails: the output is the first N bytes of the good output, nothing follows
// the failure, and both streams are closed exactly once.
#include <gtest/gtest.h>

#include <string>

#include "formats/encoder_harness.h"

namespace {

const size_t buffer_sizes[] = {1, 7, 4096};

TEST(SmallConversions, EveryBufferSizeAndShortWriteGivesTheSameBytes) {
    for (const auto& c : small_conversions()) {
        for (size_t size : buffer_sizes) {
            for (size_t write_chunk : {unlimited, size_t{3}}) {
                run_conditions conditions;
                conditions.buffer_size = size;
                conditions.write_chunk = write_chunk;
                encoder_run run = run_encoder(c.encode, c.settings, c.input, conditions);
                EXPECT_EQ(run.output, c.output()) << c.name << ", buffer " << size;
                EXPECT_GE(run.result, 0) << c.name;
                EXPECT_FALSE(run.out_failed) << c.name;
                EXPECT_EQ(run.sink_closes, 1) << c.name;
                EXPECT_EQ(run.source_closes, 1) << c.name;
            }
        }
    }
}

TEST(SmallConversions, OutputFailingAfterEveryByteCount) {
    for (const auto& c : small_conversions()) {
        const std::string good = c.output();
        for (size_t size : buffer_sizes) {
            for (size_t limit = 0; limit <= good.size(); ++limit) {
                run_conditions conditions;
                conditions.buffer_size = size;
                conditions.write_limit = limit;
                encoder_run run = run_encoder(c.encode, c.settings, c.input, conditions);
                const std::string where = std::string(c.name) + ", buffer " + std::to_string(size) +
                                          ", N " + std::to_string(limit);
                EXPECT_EQ(run.output, good.substr(0, limit)) << where;
                EXPECT_EQ(run.writes_after_failure, 0u) << where;
                EXPECT_EQ(run.sink_closes, 1) << where;
                EXPECT_EQ(run.source_closes, 1) << where;
                EXPECT_TRUE(run.out_closed && run.in_closed) << where;
                EXPECT_FALSE(run.in_failed) << where;
                if (limit < good.size()) {
                    EXPECT_EQ(run.result, -1) << where;
                    EXPECT_TRUE(run.out_failed) << where;
                } else {
                    EXPECT_GE(run.result, 0) << where;
                    EXPECT_FALSE(run.out_failed) << where;
                }
            }
        }
    }
}

TEST(SmallConversions, FailureAtCloseIsAFailedWrite) {
    for (const auto& c : small_conversions()) {
        run_conditions conditions;
        conditions.close_fails = true;
        encoder_run run = run_encoder(c.encode, c.settings, c.input, conditions);
        EXPECT_EQ(run.result, -1) << c.name;
        EXPECT_TRUE(run.out_failed) << c.name;
        EXPECT_EQ(run.output, c.output()) << c.name;
        EXPECT_EQ(run.sink_closes, 1) << c.name;
        EXPECT_EQ(run.source_closes, 1) << c.name;
    }
}

// A large image into an output that fails early: the encoder stops reading
// instead of running through the rest of the input.
TEST(SmallConversions, NoMoreInputIsReadAfterAFailedWrite) {
    const std::string image(200000, '\x5A');
    for (const auto& c : small_conversions()) {
        for (size_t size : {size_t{1}, size_t{4096}}) {
            run_conditions conditions;
            conditions.buffer_size = size;
            conditions.write_limit = 10;
            conditions.read_chunk = 100;
            encoder_run run = run_encoder(c.encode, c.settings, image, conditions);
            EXPECT_EQ(run.result, -1) << c.name;
            // At most the read that preceded the failed write.
            EXPECT_LE(run.bytes_read, 64u * 1024) << c.name << ", buffer " << size;
            EXPECT_EQ(run.output.size(), 10u) << c.name;
            EXPECT_EQ(run.reads_after_end, 0) << c.name;
            EXPECT_EQ(run.source_closes, 1) << c.name;
            EXPECT_EQ(run.sink_closes, 1) << c.name;
        }
    }
}

}  // namespace
