// Relocation of a loader's working copy: each listed word moves by the
// loader's address modulo $10000, nothing else changes, and the constant
// image stays as it was.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "loaders/loader_image.h"

namespace {

using image_copy = std::array<unsigned char, loader_image_size>;

image_copy relocated(const loader_image& loader, int address) {
    image_copy copy;
    copy.fill(0x5A);  // relocate_loader must copy every byte itself
    relocate_loader(loader, address, copy.data());
    return copy;
}

unsigned word_at(const unsigned char* bytes, size_t at) { return bytes[at] + 256u * bytes[at + 1]; }

bool is_relocated(const loader_image& loader, size_t at) {
    for (size_t r = 0; r < loader.reloc_count; ++r) {
        if (loader.relocs[r] == at || loader.relocs[r] + 1u == at) return true;
    }
    return false;
}

// Every listed word moved by address modulo $10000, every other byte as stored.
void expect_relocated_by(const loader_image& loader, int address) {
    image_copy copy = relocated(loader, address);
    for (size_t r = 0; r < loader.reloc_count; ++r) {
        size_t at = loader.relocs[r];
        unsigned want = (word_at(loader.bytes, at) + static_cast<unsigned>(address)) & 0xFFFF;
        EXPECT_EQ(word_at(copy.data(), at), want) << "word at " << at << ", address " << address;
    }
    for (size_t i = 0; i < loader_image_size; ++i) {
        if (!is_relocated(loader, i)) {
            EXPECT_EQ(copy[i], loader.bytes[i]) << "byte " << i << ", address " << address;
        }
    }
}

TEST(relocate_loader, by_zero_leaves_both_images_unchanged) {
    for (const loader_image* loader : {&checksum_loader, &qsave_loader}) {
        image_copy copy = relocated(*loader, 0);
        EXPECT_EQ(std::memcmp(copy.data(), loader->bytes, loader_image_size), 0);
    }
}

// The words of the checksum loader's table, in table order, before relocation.
TEST(relocate_loader, checksum_loader_at_0200_gives_the_listed_words_plus_0200) {
    const unsigned listed[32] = {0xA2, 0x83, 0x03, 0x83, 0x02, 0xB0, 0x02, 0x03, 0x70, 0x70, 0x3E,
                                 0x70, 0x3D, 0x70, 0x3D, 0x3E, 0x83, 0x03, 0x83, 0x02, 0xB8, 0xA5,
                                 0x83, 0x02, 0x02, 0x03, 0x04, 0x86, 0xA2, 0x04, 0x04, 0x02};
    ASSERT_EQ(checksum_loader.reloc_count, 32u);
    image_copy copy = relocated(checksum_loader, 0x0200);
    for (size_t r = 0; r < 32; ++r) {
        EXPECT_EQ(word_at(copy.data(), checksum_loader.relocs[r]), listed[r] + 0x0200)
            << "entry " << r;
    }
    // Spot checks by offset: the first call, the message pointer, the go vector.
    EXPECT_EQ(copy[0x06], 0xA2);
    EXPECT_EQ(copy[0x07], 0x02);
    EXPECT_EQ(word_at(copy.data(), 0x5D), 0x02B8u);
    EXPECT_EQ(word_at(copy.data(), 0xB6), 0x0202u);
    EXPECT_EQ(word_at(copy.data(), 0x1D), 0x02B0u);
    // Target addresses stay: $ADDE, $FFEE, $FFEB, $0203 and the BIT operand.
    EXPECT_EQ(word_at(copy.data(), 0x3D), 0xADDEu);
    EXPECT_EQ(word_at(copy.data(), 0x62), 0xFFEEu);
    EXPECT_EQ(word_at(copy.data(), 0xAB), 0xFFEBu);
    EXPECT_EQ(word_at(copy.data(), 0xA8), 0x0203u);
    EXPECT_EQ(word_at(copy.data(), 0xA5), 0x00A9u);
}

TEST(relocate_loader, qsave_loader_at_0300) {
    image_copy copy = relocated(qsave_loader, 0x0300);
    auto bytes = [&](size_t at, std::initializer_list<unsigned char> want) {
        size_t i = at;
        for (unsigned char b : want) {
            EXPECT_EQ(copy[i], b) << "offset " << i;
            ++i;
        }
    };
    bytes(0x04, {0x20, 0xC8, 0x03});
    bytes(0x0D, {0x20, 0xBA, 0x03});
    bytes(0xC8, {0xBD, 0xD4, 0x03});
    bytes(0x08, {0xE2, 0xFF});
    bytes(0x7E, {0xF0, 0x00});
    bytes(0xBD, {0xA9, 0x00});
}

TEST(relocate_loader, carry_from_the_low_byte_reaches_the_high_byte) {
    image_copy copy = relocated(qsave_loader, 0x02F0);
    EXPECT_EQ(copy[0x05], 0xB8);
    EXPECT_EQ(copy[0x06], 0x03);
    EXPECT_EQ(copy[0xC9], 0xC4);
    EXPECT_EQ(copy[0xCA], 0x03);
}

TEST(relocate_loader, wraps_modulo_10000_without_spilling) {
    image_copy checksum = relocated(checksum_loader, 0xFFFE);
    EXPECT_EQ(checksum[0x06], 0xA0);  // $00A2 + $FFFE = $100A0
    EXPECT_EQ(checksum[0x07], 0x00);
    EXPECT_EQ(checksum[0x08], 0xC9) << "the byte after the word";
    EXPECT_EQ(word_at(checksum.data(), 0x1A), 0x0000u);  // $0002 + $FFFE
    EXPECT_EQ(word_at(checksum.data(), 0xB6), 0x0000u);
    EXPECT_EQ(checksum[0xB8], 0x0D) << "the message after the go vector";

    image_copy qsave = relocated(qsave_loader, 0xFFFE);
    EXPECT_EQ(word_at(qsave.data(), 0x05), 0x00C6u);
    EXPECT_EQ(qsave[0x07], 0xAE);
    EXPECT_EQ(word_at(qsave.data(), 0xC9), 0x00D2u);
    EXPECT_EQ(qsave[0xCB], 0xF0);
}

TEST(relocate_loader, edges_and_many_addresses_move_only_the_listed_words) {
    std::mt19937 random(0x10AD);
    std::uniform_int_distribution<int> address(0, 0xFFFF);
    for (const loader_image* loader : {&checksum_loader, &qsave_loader}) {
        for (int a : {0x0001, 0x00FF, 0x0100, 0x021C, 0x1E00, 0xFF00, 0xFF0F, 0xFF10, 0xFFFF}) {
            expect_relocated_by(*loader, a);
        }
        for (int n = 0; n < 200; ++n) expect_relocated_by(*loader, address(random));
    }
}

TEST(relocate_loader, leaves_the_constant_images_alone) {
    image_copy checksum_before, qsave_before;
    std::memcpy(checksum_before.data(), checksum_loader_image, loader_image_size);
    std::memcpy(qsave_before.data(), qsave_loader_image, loader_image_size);
    relocated(checksum_loader, 0x1234);
    relocated(qsave_loader, 0xFEDC);
    EXPECT_EQ(std::memcmp(checksum_before.data(), checksum_loader_image, loader_image_size), 0);
    EXPECT_EQ(std::memcmp(qsave_before.data(), qsave_loader_image, loader_image_size), 0);
    EXPECT_EQ(relocated(checksum_loader, 0x0200), relocated(checksum_loader, 0x0200));
}

}  // namespace
