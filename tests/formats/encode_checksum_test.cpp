// The checksum load format: the message, ";" records of up to 24 bytes as hex
// pairs with a 16-bit sum, each closed by CR, NULs and LF, and "$GGGG".
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/encoder_harness.h"
#include "formats/encoders.h"

namespace {

run_settings settings_checksum(int load, int go, int pad = 5) {
    return conversion_settings(action_checksum, load, go, 0, pad);
}

encoder_run run_checksum(const run_settings& settings, const std::string& input,
                         const run_conditions& conditions = {}) {
    return run_clean(encode_checksum, settings, input, conditions);
}

// CR, n NULs, LF.
std::string record_end(size_t pad) { return std::string("\r").append(pad, '\0').append("\n"); }

const std::string zeros24 = std::string(48, '0');  // 24 data bytes 00 as hex

TEST(EncodeChecksum, WorkedExample) {
    encoder_run run = run_checksum(settings_checksum(0x0300, 0x0300), bytes({0xA9, 0x00, 0x60}));
    EXPECT_EQ(run.output, ";030300A90060010F" + record_end(5) + "$0300");
    EXPECT_EQ(run.result, '0');
}

TEST(EncodeChecksum, EdgeCases) {
    struct row {
        const char* name;
        run_settings settings;
        std::string input;
        std::string expected;
    };
    const row rows[] = {
        {"empty input, no go", settings_checksum(0, -1), "", ""},
        {"empty input with go", settings_checksum(0, 0x1234), "", "$1234"},
        {"go 0000 is a go address", settings_checksum(0, 0), "", "$0000"},
        {"24 bytes are one record", settings_checksum(0x0300, -1), std::string(24, '\0'),
         ";180300" + zeros24 + "001B" + record_end(5)},
        {"25 bytes are two records", settings_checksum(0x0300, -1), std::string(25, '\0'),
         ";180300" + zeros24 + "001B" + record_end(5) + ";01031800001C" + record_end(5)},
        {"FF at FFFF, no padding", settings_checksum(0xFFFF, -1, 0), bytes({0xFF}),
         ";01FFFFFF02FE\r\n"},
        {"address wraps past FFFF", settings_checksum(0xFFF0, 0xFFF0), std::string(25, '\0'),
         ";18FFF0" + zeros24 + "0207" + record_end(5) + ";010008000009" + record_end(5) + "$FFF0"},
        {"pad 0", settings_checksum(0x0300, 0x0300, 0), bytes({0xA9, 0x00, 0x60}),
         ";030300A90060010F\r\n$0300"},
        {"pad FF", settings_checksum(0x0300, 0x0300, 0xFF), bytes({0xA9, 0x00, 0x60}),
         ";030300A90060010F" + record_end(255) + "$0300"},
        {"pad 300", settings_checksum(0x0300, -1, 300), bytes({0xA9, 0x00, 0x60}),
         ";030300A90060010F" + record_end(300)},
        {"negative pad is none", settings_checksum(0x0300, -1, -3), bytes({0xA9, 0x00, 0x60}),
         ";030300A90060010F\r\n"},
        {"go differs from load", settings_checksum(0x0300, 0x0400), bytes({0x01}),
         ";010300010005" + record_end(5) + "$0400"},
        {"go address is written from its low 16 bits", settings_checksum(0, 0x1ABCD), "", "$ABCD"},
        {"marks and line ends in the data", settings_checksum(0x1000, -1, 1),
         bytes({0x3B, 0x24, 0x0D, 0x0A}),
         // 04 + 10 + 00 + 3B + 24 + 0D + 0A = 0x8A
         ";0410003B240D0A008A" + record_end(1)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(run_checksum(r.settings, r.input).output, r.expected) << r.name;
    }
}

TEST(EncodeChecksum, LineEndModeHasNoEffect) {
    for (int mode : {1, -1, 2}) {
        run_settings settings = settings_checksum(0x0300, 0x0300);
        settings.eol_mode = mode;
        EXPECT_EQ(run_checksum(settings, bytes({0xA9, 0x00, 0x60})).output,
                  ";030300A90060010F" + record_end(5) + "$0300")
            << "mode " << mode;
    }
}

TEST(EncodeChecksum, MessageIsWrittenOnceBeforeTheFirstRecord) {
    run_settings settings = settings_checksum(0x0300, 0x0300, 0);
    set_message(settings, "LOAD ME\r\n");
    EXPECT_EQ(run_checksum(settings, std::string(25, '\0')).output,
              "LOAD ME\r\n;180300" + zeros24 + "001B\r\n;01031800001C\r\n$0300");
    EXPECT_EQ(run_checksum(settings, "").output, "LOAD ME\r\n$0300");
    settings.go_address = -1;
    EXPECT_EQ(run_checksum(settings, "").output, "LOAD ME\r\n");
}

// Decodes checksum output record by record, checking every field against the
// format rules.
decoded_records decode_checksum(const std::string& text, const run_settings& settings) {
    decoded_records d;
    const std::string message = settings.message_text;
    if (text.compare(0, message.size(), message) != 0) {
        d.error = "message missing";
        return d;
    }
    size_t pos = message.size();
    int address = settings.load_address & 0xFFFF;
    const std::string end =
        record_end(settings.pad_count > 0 ? static_cast<size_t>(settings.pad_count) : 0);
    while (pos < text.size() && text[pos] == ';') {
        const std::string where = " in record " + std::to_string(d.counts.size());
        ++pos;
        int count = read_hex_pair(text, pos);
        int high = read_hex_pair(text, pos);
        int low = read_hex_pair(text, pos);
        if (count < 1 || count > 24 || high < 0 || low < 0) {
            d.error = "bad count or address" + where;
            return d;
        }
        if (high * 256 + low != address) {
            d.error = "address not continuous" + where;
            return d;
        }
        int sum = count + high + low;
        for (int i = 0; i < count; ++i) {
            int b = read_hex_pair(text, pos);
            if (b < 0) {
                d.error = "bad data" + where;
                return d;
            }
            sum += b;
            d.data.push_back(static_cast<char>(b));
        }
        int sum_high = read_hex_pair(text, pos);
        int sum_low = read_hex_pair(text, pos);
        if (sum_high < 0 || sum_low < 0 || sum_high * 256 + sum_low != sum) {
            d.error = "bad sum" + where;
            return d;
        }
        if (text.compare(pos, end.size(), end) != 0) {
            d.error = "bad record end" + where;
            return d;
        }
        pos += end.size();
        d.counts.push_back(count);
        address = (address + count) & 0xFFFF;
    }
    if (pos < text.size()) {
        if (text[pos] != '$') {
            d.error = "stray byte at " + std::to_string(pos);
            return d;
        }
        ++pos;
        int high = read_hex_pair(text, pos);
        int low = read_hex_pair(text, pos);
        if (high < 0 || low < 0 || pos != text.size()) {
            d.error = "bad go record";
            return d;
        }
        d.go = high * 256 + low;
    }
    return d;
}

TEST(EncodeChecksum, RandomImagesDecodeBack) {
    std::mt19937 rng(0xC5C5);
    const char* messages[] = {"", "HI", "LOAD\r\n", "\x08\x0C\t\"", "0123456789ABCDEF"};
    for (int trial = 0; trial < 200; ++trial) {
        const std::string input = random_image(rng, trial_length(rng, trial, 3000));
        run_settings settings = settings_checksum(random_address(rng), random_go(rng),
                                                  std::uniform_int_distribution<int>(0, 255)(rng));
        set_message(settings, messages[trial % 5]);
        encoder_run run = run_checksum(settings, input);
        decoded_records d = decode_checksum(run.output, settings);
        ASSERT_EQ(d.error, "") << "trial " << trial;
        EXPECT_EQ(d.data, input) << "trial " << trial;
        EXPECT_EQ(d.go, settings.go_address) << "trial " << trial;
        ASSERT_EQ(d.counts.size(), (input.size() + 23) / 24);
        for (size_t i = 0; i + 1 < d.counts.size(); ++i) EXPECT_EQ(d.counts[i], 24);
    }
}

}  // namespace
