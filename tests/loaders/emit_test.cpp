// The loader section in 65V form: ".AAAA/", one hex pair and CR per image
// byte, and the go command for the loader's entry; and how it stops at a
// failed write.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/run_settings.h"
#include "loaders/loader_image.h"
#include "support/memory_streams.h"

namespace {

constexpr size_t section_size = 6 + loader_image_size * 3 + 6;

struct emission {
    std::string bytes;
    int result;
};

emission emit(const loader_image& loader, int address, size_t buffer = 4096) {
    memory_sink sink;
    out_stream out;
    open_output(out, sink.sink(), buffer);
    int result = emit_loader(loader, address, out);
    EXPECT_EQ(flush_output(out), 0);
    return {sink.bytes, result};
}

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int hex_value(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// Splits a section into its address, image bytes and go address, checking
// its shape on the way; the image is empty when the shape is wrong.
struct parsed_section {
    std::string address;
    std::string go;
    std::array<unsigned char, loader_image_size> image{};
    bool ok = false;
};

parsed_section parse(const std::string& s) {
    parsed_section p;
    EXPECT_EQ(s.size(), section_size);
    if (s.size() != section_size) return p;
    EXPECT_EQ(s[0], '.');
    EXPECT_EQ(s[5], '/');
    p.address = s.substr(1, 4);
    for (size_t i = 0; i < loader_image_size; ++i) {
        const char* entry = s.data() + 6 + 3 * i;
        EXPECT_TRUE(is_upper_hex(entry[0]) && is_upper_hex(entry[1])) << "entry " << i;
        EXPECT_EQ(entry[2], '\r') << "entry " << i;
        if (!is_upper_hex(entry[0]) || !is_upper_hex(entry[1])) return p;
        p.image[i] = static_cast<unsigned char>(hex_value(entry[0]) * 16 + hex_value(entry[1]));
    }
    size_t tail = 6 + 3 * loader_image_size;
    EXPECT_EQ(s[tail], '.');
    EXPECT_EQ(s[tail + 5], 'G');
    p.go = s.substr(tail + 1, 4);
    p.ok = true;
    return p;
}

TEST(emit_loader, checksum_loader_at_0200) {
    emission e = emit(checksum_loader, 0x0200);
    EXPECT_NE(e.result, -1);
    ASSERT_EQ(e.bytes.size(), 735u);
    EXPECT_EQ(e.bytes.substr(0, 6 + 8 * 3), ".0200/00\r00\r00\r00\r00\r20\rA2\r02\r");
    EXPECT_EQ(e.bytes.substr(735 - 9), "00\r.0205G");
    parsed_section p = parse(e.bytes);
    ASSERT_TRUE(p.ok);
    // The message pointer of the error printer and the go vector.
    EXPECT_EQ(p.image[0x5D], 0xB8);
    EXPECT_EQ(p.image[0x5E], 0x02);
    EXPECT_EQ(p.image[0xB6], 0x02);
    EXPECT_EQ(p.image[0xB7], 0x02);
}

TEST(emit_loader, qsave_loader_at_0300_goes_to_its_first_byte) {
    emission e = emit(qsave_loader, 0x0300);
    EXPECT_NE(e.result, -1);
    ASSERT_EQ(e.bytes.size(), 735u);
    EXPECT_EQ(e.bytes.substr(0, 6 + 7 * 3), ".0300/D8\r78\rA2\r03\r20\rC8\r03\r");
    EXPECT_EQ(e.bytes.substr(735 - 9), "00\r.0300G");
    parsed_section p = parse(e.bytes);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.image[0xC9], 0xD4);
    EXPECT_EQ(p.image[0xCA], 0x03);
}

TEST(emit_loader, go_command_wraps_past_ffff) {
    emission checksum = emit(checksum_loader, 0xFFFE);
    ASSERT_EQ(checksum.bytes.size(), 735u);
    EXPECT_EQ(checksum.bytes.substr(0, 6 + 8 * 3), ".FFFE/00\r00\r00\r00\r00\r20\rA0\r00\r");
    EXPECT_EQ(checksum.bytes.substr(735 - 6), ".0003G");

    emission qsave = emit(qsave_loader, 0xFFFE);
    ASSERT_EQ(qsave.bytes.size(), 735u);
    EXPECT_EQ(qsave.bytes.substr(735 - 6), ".FFFEG");
    EXPECT_EQ(emit(checksum_loader, 0xFFFB).bytes.substr(735 - 6), ".0000G");
    EXPECT_EQ(emit(checksum_loader, 0xFFFA).bytes.substr(735 - 6), ".FFFFG");
}

// The section carries exactly the relocated copy, at every address.
TEST(emit_loader, entries_are_the_relocated_image) {
    for (const loader_image* loader : {&checksum_loader, &qsave_loader}) {
        for (int address : {0x0000, 0x0050, 0x021C, 0x0ABC, 0x1E00, 0xFEDC, 0xFFFF}) {
            parsed_section p = parse(emit(*loader, address).bytes);
            ASSERT_TRUE(p.ok);
            std::array<unsigned char, loader_image_size> copy{};
            relocate_loader(*loader, address, copy.data());
            EXPECT_EQ(p.image, copy) << "address " << address;
            char want[8];
            std::snprintf(want, sizeof want, "%04X", address);
            EXPECT_EQ(p.address, want);
            std::snprintf(want, sizeof want, "%04X",
                          (address + static_cast<int>(loader->entry_offset)) & 0xFFFF);
            EXPECT_EQ(p.go, want);
        }
    }
}

TEST(emit_loader, second_emission_gives_the_same_bytes) {
    std::array<unsigned char, loader_image_size> before{};
    std::memcpy(before.data(), checksum_loader_image, loader_image_size);
    std::string first = emit(checksum_loader, 0x1E00).bytes;
    std::string second = emit(checksum_loader, 0x1E00).bytes;
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::memcmp(before.data(), checksum_loader_image, loader_image_size), 0);
    // An emission elsewhere in between does not leak into the next one.
    emit(checksum_loader, 0x4000);
    EXPECT_EQ(emit(checksum_loader, 0x1E00).bytes, first);
    EXPECT_EQ(emit(qsave_loader, 0x0300).bytes, emit(qsave_loader, 0x0300).bytes);
}

// The line-end mode of -t and -t0 belongs to the 65A format only.
TEST(emit_loader, every_entry_ends_with_cr_whatever_the_eol_mode) {
    std::string sections[3];
    int modes[3] = {0, 1, -1};
    for (int m = 0; m < 3; ++m) {
        run_settings settings;
        settings.action = action_checksum;
        settings.hybrid = 1;
        settings.loader_address = 0x0300;
        settings.eol_mode = modes[m];
        memory_sink sink;
        out_stream out;
        open_output(out, sink.sink(), 64);
        prepare_hybrid(settings, out);
        ASSERT_EQ(flush_output(out), 0);
        sections[m] = sink.bytes;
        parsed_section p = parse(sink.bytes);
        EXPECT_TRUE(p.ok) << "eol_mode " << modes[m];
        EXPECT_EQ(sink.bytes.find('\n'), std::string::npos);
        EXPECT_EQ(sink.bytes.find('\0'), std::string::npos);
    }
    EXPECT_EQ(sections[0], sections[1]);
    EXPECT_EQ(sections[0], sections[2]);
}

// With the sink failing after n bytes, exactly the first n bytes of the
// section arrive, the failure is reported, and nothing is offered afterwards.
TEST(emit_loader, fail_after_n_bytes_for_every_n) {
    const std::string full = emit(checksum_loader, 0x0200).bytes;
    ASSERT_EQ(full.size(), 735u);
    for (size_t buffer : {size_t{1}, size_t{7}, size_t{4096}}) {
        for (size_t n = 0; n < full.size(); ++n) {
            memory_sink sink;
            sink.limit = n;
            out_stream out;
            open_output(out, sink.sink(), buffer);
            int result = emit_loader(checksum_loader, 0x0200, out);
            int flushed = flush_output(out);
            ASSERT_EQ(sink.bytes, full.substr(0, n)) << "buffer " << buffer << ", n " << n;
            EXPECT_TRUE(result == -1 || flushed == -1) << "buffer " << buffer << ", n " << n;
            // With a one-byte buffer every byte but the last reaches the sink
            // inside the emission, so the emission itself must report it.
            if (buffer == 1 && n + 1 < full.size()) {
                EXPECT_EQ(result, -1) << "n " << n;
            }
            EXPECT_EQ(sink.writes_after_failure, 0u) << "buffer " << buffer << ", n " << n;
            EXPECT_EQ(put_byte('X', out), -1);
            EXPECT_EQ(sink.bytes.size(), n);
        }
    }
}

TEST(emit_loader, fail_after_n_bytes_for_the_qsave_loader) {
    const std::string full = emit(qsave_loader, 0x1E00).bytes;
    for (size_t n : {size_t{0}, size_t{1}, size_t{5}, size_t{6}, size_t{7}, size_t{400},
                     size_t{728}, size_t{729}, size_t{734}}) {
        memory_sink sink;
        sink.limit = n;
        out_stream out;
        open_output(out, sink.sink(), 1);
        int result = emit_loader(qsave_loader, 0x1E00, out);
        int flushed = flush_output(out);
        EXPECT_EQ(sink.bytes, full.substr(0, n)) << "n " << n;
        EXPECT_TRUE(result == -1 || flushed == -1) << "n " << n;
        EXPECT_EQ(sink.writes_after_failure, 0u);
    }
}

TEST(emit_loader, sink_taking_one_byte_at_a_time_gets_the_whole_section) {
    memory_sink sink;
    sink.max_chunk = 1;
    out_stream out;
    open_output(out, sink.sink(), 7);
    EXPECT_NE(emit_loader(checksum_loader, 0x0200, out), -1);
    EXPECT_EQ(flush_output(out), 0);
    EXPECT_EQ(sink.bytes, emit(checksum_loader, 0x0200).bytes);
}

}  // namespace
