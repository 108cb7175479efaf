// The QSave binary checksum format: the message, raw records of up to 56 bytes
// (3B, count, address, data, 16-bit sum) and the raw go record 24 HH LL.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/encoder_harness.h"
#include "formats/encoders.h"

namespace {

run_settings settings_qsave(int load, int go) {
    return conversion_settings(action_qsave, load, go);
}

encoder_run run_qsave(const run_settings& settings, const std::string& input,
                      const run_conditions& conditions = {}) {
    return run_clean(encode_qsave, settings, input, conditions);
}

TEST(EncodeQsave, WorkedExamples) {
    encoder_run run = run_qsave(settings_qsave(0x0300, 0x0300), bytes({0xA9, 0x00, 0x60}));
    EXPECT_EQ(run.output,
              bytes({0x3B, 0x03, 0x03, 0x00, 0xA9, 0x00, 0x60, 0x01, 0x0F, 0x24, 0x03, 0x00}));
    EXPECT_EQ(run.result, 0x00);

    run_settings hi = settings_qsave(0, 0x1234);
    set_message(hi, "HI");
    EXPECT_EQ(run_qsave(hi, "").output, bytes({0x48, 0x49, 0x24, 0x12, 0x34}));
}

TEST(EncodeQsave, EdgeCases) {
    const std::string zeros56(56, '\0');
    struct row {
        const char* name;
        run_settings settings;
        std::string input;
        std::string expected;
    };
    const row rows[] = {
        {"empty input, no go", settings_qsave(0, -1), "", ""},
        {"empty input with go 0000", settings_qsave(0, 0), "", bytes({0x24, 0x00, 0x00})},
        {"56 bytes are one record", settings_qsave(0x0300, -1), zeros56,
         // 38 + 03 + 00 = 0x003B: the sum's low byte is a record mark
         bytes({0x3B, 0x38, 0x03, 0x00}) + zeros56 + bytes({0x00, 0x3B})},
        {"57 bytes are two records", settings_qsave(0x0300, -1), zeros56 + '\x11',
         bytes({0x3B, 0x38, 0x03, 0x00}) + zeros56 + bytes({0x00, 0x3B}) +
             bytes({0x3B, 0x01, 0x03, 0x38, 0x11, 0x00, 0x4D})},
        {"address wraps past FFFF", settings_qsave(0xFFF0, 0xFFF0), zeros56 + '\0',
         bytes({0x3B, 0x38, 0xFF, 0xF0}) + zeros56 + bytes({0x02, 0x27}) +
             bytes({0x3B, 0x01, 0x00, 0x28, 0x00, 0x00, 0x29}) + bytes({0x24, 0xFF, 0xF0})},
        {"FF, 3B and 24 are data", settings_qsave(0x0300, -1), bytes({0xFF, 0x3B, 0x24}),
         // 03 + 03 + 00 + FF + 3B + 24 = 0x0164
         bytes({0x3B, 0x03, 0x03, 0x00, 0xFF, 0x3B, 0x24, 0x01, 0x64})},
        {"sum of FF bytes at FFFF", settings_qsave(0xFFFF, 0x12FF), bytes({0xFF, 0xFF}),
         // 02 + FF + FF + FF + FF = 0x03FE
         bytes({0x3B, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0xFE, 0x24, 0x12, 0xFF})},
        {"go differs from load", settings_qsave(0x0300, 0x0400), bytes({0x01}),
         bytes({0x3B, 0x01, 0x03, 0x00, 0x01, 0x00, 0x05, 0x24, 0x04, 0x00})},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(run_qsave(r.settings, r.input).output, r.expected) << r.name;
    }
}

TEST(EncodeQsave, LineEndAndPaddingHaveNoEffect) {
    const std::string expected =
        bytes({0x3B, 0x03, 0x03, 0x00, 0xA9, 0x00, 0x60, 0x01, 0x0F, 0x24, 0x03, 0x00});
    for (int mode : {0, 1, -1}) {
        for (int pad : {0, 5, 0xFF}) {
            run_settings settings = settings_qsave(0x0300, 0x0300);
            settings.eol_mode = mode;
            settings.pad_count = pad;
            EXPECT_EQ(run_qsave(settings, bytes({0xA9, 0x00, 0x60})).output, expected)
                << "mode " << mode << " pad " << pad;
        }
    }
}

TEST(EncodeQsave, MessageIsWrittenOnceBeforeTheFirstRecord) {
    run_settings settings = settings_qsave(0x0300, -1);
    set_message(settings, "GO\r\n");
    EXPECT_EQ(run_qsave(settings, bytes({0x01})).output,
              "GO\r\n" + bytes({0x3B, 0x01, 0x03, 0x00, 0x01, 0x00, 0x05}));
}

// Decodes QSave output, finding each record's end from its count alone.
decoded_records decode_qsave(const std::string& text, const run_settings& settings) {
    decoded_records d;
    const std::string message = settings.message_text;
    if (text.compare(0, message.size(), message) != 0) {
        d.error = "message missing";
        return d;
    }
    auto at = [&](size_t i) { return static_cast<int>(static_cast<unsigned char>(text[i])); };
    size_t pos = message.size();
    int address = settings.load_address & 0xFFFF;
    while (pos < text.size() && at(pos) == 0x3B) {
        const std::string where = " in record " + std::to_string(d.counts.size());
        if (pos + 4 > text.size()) {
            d.error = "short header" + where;
            return d;
        }
        int count = at(pos + 1);
        int high = at(pos + 2);
        int low = at(pos + 3);
        if (count < 1 || count > 56) {
            d.error = "bad count" + where;
            return d;
        }
        if (high * 256 + low != address) {
            d.error = "address not continuous" + where;
            return d;
        }
        const size_t size = 6 + static_cast<size_t>(count);
        if (pos + size > text.size()) {
            d.error = "short record" + where;
            return d;
        }
        int sum = count + high + low;
        for (int i = 0; i < count; ++i) sum += at(pos + 4 + static_cast<size_t>(i));
        if (at(pos + size - 2) * 256 + at(pos + size - 1) != sum) {
            d.error = "bad sum" + where;
            return d;
        }
        d.data.append(text, pos + 4, static_cast<size_t>(count));
        d.counts.push_back(count);
        address = (address + count) & 0xFFFF;
        pos += size;
    }
    if (pos < text.size()) {
        if (at(pos) != 0x24 || pos + 3 != text.size()) {
            d.error = "bad go record at " + std::to_string(pos);
            return d;
        }
        d.go = at(pos + 1) * 256 + at(pos + 2);
    }
    return d;
}

TEST(EncodeQsave, RandomImagesDecodeBack) {
    std::mt19937 rng(0x5A7E);
    const char* messages[] = {"", "HI", "LOAD\r\n", "\x01\x7F", "ZZ"};
    for (int trial = 0; trial < 200; ++trial) {
        const std::string input = random_image(rng, trial_length(rng, trial, 3000));
        run_settings settings = settings_qsave(random_address(rng), random_go(rng));
        set_message(settings, messages[trial % 5]);
        encoder_run run = run_qsave(settings, input);
        decoded_records d = decode_qsave(run.output, settings);
        ASSERT_EQ(d.error, "") << "trial " << trial;
        EXPECT_EQ(d.data, input) << "trial " << trial;
        EXPECT_EQ(d.go, settings.go_address) << "trial " << trial;
        ASSERT_EQ(d.counts.size(), (input.size() + 55) / 56);
        for (size_t i = 0; i + 1 < d.counts.size(); ++i) EXPECT_EQ(d.counts[i], 56);
    }
}

}  // namespace
