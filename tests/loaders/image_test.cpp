// The two loader images and their relocation tables, checked through what
// the code in them must be: a clean 6502 instruction stream whose absolute
// operands into the image are exactly the relocated words, the message texts
// the loaders print, and fingerprints of the 241 bytes computed once when
// the tables were written.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "loaders/loader_image.h"

namespace {

// Instruction lengths of the documented NMOS 6502 opcodes; 0 for the rest.
struct opcode_lengths {
    unsigned char length[256] = {};
    constexpr opcode_lengths() {
        constexpr unsigned char one[] = {0x00, 0x08, 0x18, 0x28, 0x38, 0x40, 0x48, 0x58, 0x60, 0x68,
                                         0x78, 0x88, 0x8A, 0x98, 0x9A, 0xA8, 0xAA, 0xB8, 0xBA, 0xC8,
                                         0xCA, 0xD8, 0xE8, 0xEA, 0xF8, 0x0A, 0x2A, 0x4A, 0x6A};
        constexpr unsigned char two[] = {
            0x09, 0x29, 0x49, 0x69, 0xA0, 0xA2, 0xA9, 0xC0, 0xC9, 0xE0, 0xE9,  // immediate
            0x05, 0x06, 0x24, 0x25, 0x26, 0x45, 0x46, 0x65, 0x66, 0x84, 0x85,  // zero page
            0x86, 0xA4, 0xA5, 0xA6, 0xC4, 0xC5, 0xC6, 0xE4, 0xE5, 0xE6,        //
            0x15, 0x16, 0x35, 0x36, 0x55, 0x56, 0x75, 0x76, 0x94, 0x95, 0xB4,  // zero page,X
            0xB5, 0xD5, 0xD6, 0xF5, 0xF6, 0x96, 0xB6,                          // and ,Y
            0x01, 0x21, 0x41, 0x61, 0x81, 0xA1, 0xC1, 0xE1,                    // (zp,X)
            0x11, 0x31, 0x51, 0x71, 0x91, 0xB1, 0xD1, 0xF1,                    // (zp),Y
            0x10, 0x30, 0x50, 0x70, 0x90, 0xB0, 0xD0, 0xF0};                   // branches
        constexpr unsigned char three[] = {
            0x0D, 0x0E, 0x20, 0x2C, 0x2D, 0x2E, 0x4C, 0x4D, 0x4E, 0x6D, 0x6E, 0x8C,  // absolute
            0x8D, 0x8E, 0xAC, 0xAD, 0xAE, 0xCC, 0xCD, 0xCE, 0xEC, 0xED, 0xEE,        //
            0x1D, 0x1E, 0x3D, 0x3E, 0x5D, 0x5E, 0x7D, 0x7E, 0x9D, 0xBC, 0xBD, 0xDD,  // absolute,X
            0xDE, 0xFD, 0xFE,                                                        //
            0x19, 0x39, 0x59, 0x79, 0x99, 0xB9, 0xBE, 0xD9, 0xF9,                    // absolute,Y
            0x6C};                                                                   // (indirect)
        for (unsigned char op : one) length[op] = 1;
        for (unsigned char op : two) length[op] = 2;
        for (unsigned char op : three) length[op] = 3;
    }
};
constexpr opcode_lengths opcodes{};

bool is_branch(unsigned char op) { return (op & 0x1F) == 0x10; }

// The opcodes that take the absolute operands these loaders relocate:
// JSR, JMP, JMP (indirect), and LDA, STA, ADC, CMP, INC, ROL absolute or indexed.
const std::set<unsigned char> absolute_operand_opcodes = {
    0x20, 0x4C, 0x6C,         // JSR, JMP, JMP ()
    0xAD, 0xBD, 0xB9,         // LDA abs, abs,X, abs,Y
    0x8D, 0x9D, 0x99,         // STA
    0x6D, 0x7D, 0x79,         // ADC
    0xCD, 0xDD, 0xD9,         // CMP
    0xEE, 0xFE, 0x2E, 0x3E};  // INC, ROL

struct instruction {
    size_t at;
    unsigned char op;
    size_t length;
};

// Decodes first..end in a straight line; fails the test on an undocumented
// opcode or an instruction running past end.
std::vector<instruction> decode(const unsigned char* image, size_t first, size_t end) {
    std::vector<instruction> code;
    size_t at = first;
    while (at < end) {
        unsigned char op = image[at];
        size_t n = opcodes.length[op];
        EXPECT_NE(n, 0u) << "undocumented opcode " << std::hex << int(op) << " at " << at;
        if (n == 0) break;
        code.push_back({at, op, n});
        at += n;
    }
    EXPECT_EQ(at, end) << "the code does not end on an instruction boundary";
    return code;
}

unsigned word_at(const unsigned char* image, size_t at) { return image[at] + 256u * image[at + 1]; }

struct loader_case {
    const char* name;
    const loader_image* loader;
    size_t relocs_expected;
    unsigned entry_expected;
    size_t code_first;                // the first instruction
    size_t code_end;                  // one past the last instruction
    std::set<size_t> fixed_operands;  // absolute operands that name target addresses
    unsigned sum16;                   // 16-bit sum of the 241 bytes
    uint32_t crc32;                   // CRC-32 (IEEE) of the 241 bytes
};

const loader_case loader_cases[] = {
    {"checksum",
     &checksum_loader,
     32,
     5,
     0x05,
     0xB8,
     {0x3D, 0x62, 0xAB, 0xAE, 0xA8, 0xB3, 0xA5},
     0x4E29,
     0x859D351Du},
    {"qsave",
     &qsave_loader,
     22,
     0,
     0x00,
     0xD4,
     {0x08, 0x97, 0x9B, 0x90, 0xC3, 0xB8, 0xC6, 0xCE, 0xC0, 0x7E, 0xBD},
     0x68DB,
     0x4AE30C1Du},
};

void PrintTo(const loader_case& c, std::ostream* os) { *os << c.name << " loader"; }

uint32_t crc32_of(const unsigned char* data, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

class loader_image_test : public ::testing::TestWithParam<loader_case> {};

TEST_P(loader_image_test, descriptor_has_its_table_sizes_and_entry) {
    const loader_case& c = GetParam();
    EXPECT_EQ(c.loader->reloc_count, c.relocs_expected);
    EXPECT_EQ(c.loader->entry_offset, c.entry_expected);
    EXPECT_EQ(c.loader->bytes[loader_image_size - 1], 0x00) << "the image ends with a 00 byte";
}

TEST_P(loader_image_test, bytes_match_the_published_fingerprints) {
    const loader_case& c = GetParam();
    unsigned sum = 0;
    for (size_t i = 0; i < loader_image_size; ++i) sum += c.loader->bytes[i];
    EXPECT_EQ(sum & 0xFFFF, c.sum16);
    EXPECT_EQ(crc32_of(c.loader->bytes, loader_image_size), c.crc32);
}

TEST_P(loader_image_test, relocation_offsets_ascend_without_overlap_inside_the_image) {
    const loader_case& c = GetParam();
    for (size_t r = 0; r < c.loader->reloc_count; ++r) {
        size_t at = c.loader->relocs[r];
        EXPECT_LT(at + 1, loader_image_size) << "entry " << r;
        if (r > 0) {
            EXPECT_GE(at, c.loader->relocs[r - 1] + 3u) << "entry " << r;
        }
    }
}

TEST_P(loader_image_test, every_relocated_word_is_an_absolute_operand_into_the_image) {
    const loader_case& c = GetParam();
    const unsigned char* image = c.loader->bytes;
    for (size_t r = 0; r < c.loader->reloc_count; ++r) {
        size_t at = c.loader->relocs[r];
        ASSERT_GE(at, 1u);
        EXPECT_EQ(image[at + 1], 0x00) << "high byte at " << at;
        EXPECT_LT(word_at(image, at), loader_image_size) << "word at " << at;
        EXPECT_TRUE(absolute_operand_opcodes.count(image[at - 1]))
            << "opcode " << std::hex << int(image[at - 1]) << " before offset " << at;
    }
}

TEST_P(loader_image_test, operands_of_fixed_target_addresses_are_not_relocated) {
    const loader_case& c = GetParam();
    std::set<size_t> relocs(c.loader->relocs, c.loader->relocs + c.loader->reloc_count);
    for (size_t at : c.fixed_operands) EXPECT_FALSE(relocs.count(at)) << "offset " << at;
}

// Decoding the code in a straight line must give whole instructions whose
// absolute operands are exactly the relocated words and the fixed ones.
TEST_P(loader_image_test, absolute_operands_of_the_code_are_the_relocated_and_the_fixed_words) {
    const loader_case& c = GetParam();
    std::vector<instruction> code = decode(c.loader->bytes, c.code_first, c.code_end);
    std::set<size_t> operands;
    for (const instruction& i : code) {
        if (i.length == 3) operands.insert(i.at + 1);
    }
    std::set<size_t> expected(c.loader->relocs, c.loader->relocs + c.loader->reloc_count);
    expected.insert(c.fixed_operands.begin(), c.fixed_operands.end());
    EXPECT_EQ(operands, expected);
}

// Every jump, call and branch inside the image lands on the start of an
// instruction, or on the LDA #$00 hidden in the operand of a BIT absolute
// (the second entry of the read routine).
TEST_P(loader_image_test, jumps_calls_and_branches_land_on_instructions) {
    const loader_case& c = GetParam();
    const unsigned char* image = c.loader->bytes;
    std::vector<instruction> code = decode(image, c.code_first, c.code_end);
    std::set<size_t> starts;
    for (const instruction& i : code) starts.insert(i.at);
    auto lands = [&](size_t target) {
        if (starts.count(target)) return true;
        return target >= 1 && starts.count(target - 1) && image[target - 1] == 0x2C &&
               image[target] == 0xA9 && image[target + 1] == 0x00;
    };
    EXPECT_TRUE(starts.count(c.loader->entry_offset)) << "entry";
    for (const instruction& i : code) {
        if (is_branch(i.op)) {
            int step = image[i.at + 1] < 0x80 ? image[i.at + 1] : image[i.at + 1] - 256;
            size_t target = static_cast<size_t>(static_cast<int>(i.at) + 2 + step);
            EXPECT_TRUE(lands(target)) << "branch at " << i.at << " to " << target;
        }
        if (i.op == 0x20 || i.op == 0x4C) {
            unsigned target = word_at(image, i.at + 1);
            if (target < 0x100) {
                EXPECT_TRUE(lands(target)) << "jump at " << i.at << " to " << target;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(loaders, loader_image_test, ::testing::ValuesIn(loader_cases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

std::string text_at(const unsigned char* image, size_t at) {
    std::string text;
    while (at < loader_image_size && image[at] != 0) text += static_cast<char>(image[at++]);
    return text;
}

TEST(checksum_loader_image, error_message_fills_the_tail) {
    EXPECT_EQ(text_at(checksum_loader_image, 0xB8),
              "\r\n\nOBJ CHECKSUM ERR\r\nREWIND PAST ERR - TYPE G TO RESTART");
    EXPECT_EQ(0xB8 + 56u, loader_image_size - 1) << "the NUL ends the image";
    // The printer loop reads the message through LDA absolute,Y.
    EXPECT_EQ(checksum_loader_image[0x5C], 0xB9);
    EXPECT_EQ(word_at(checksum_loader_image, 0x5D), 0xB8u);
}

TEST(checksum_loader_image, data_cells_and_entry) {
    // Two unused zero bytes, the checksum word and the hex accumulator.
    for (size_t at = 0; at < 5; ++at) EXPECT_EQ(checksum_loader_image[at], 0x00) << at;
    // The store instruction whose operand each record overwrites.
    EXPECT_EQ(checksum_loader_image[0x3C], 0x8D);
    EXPECT_EQ(word_at(checksum_loader_image, 0x3D), 0xADDEu);
    // The loader starts by calling the load-character reader at $A2.
    EXPECT_EQ(checksum_loader_image[0x05], 0x20);
    EXPECT_EQ(word_at(checksum_loader_image, 0x06), 0xA2u);
    // The go path ends with JMP ($0002).
    EXPECT_EQ(checksum_loader_image[0xB5], 0x6C);
    EXPECT_EQ(word_at(checksum_loader_image, 0xB6), 0x02u);
}

TEST(qsave_loader_image, message_table_holds_the_four_messages) {
    const size_t table = 0xD4;
    EXPECT_EQ(text_at(qsave_loader_image, table + 0), " OK\n\r");
    EXPECT_EQ(text_at(qsave_loader_image, table + 3), "\n\r");
    EXPECT_EQ(text_at(qsave_loader_image, table + 6), " ERR-TYPE G\n\r");
    EXPECT_EQ(text_at(qsave_loader_image, table + 20), "\n\rJUMP $");
    EXPECT_EQ(table + 20 + 8, loader_image_size - 1) << "the last NUL ends the image";
    // The printer reads the table through LDA absolute,X.
    EXPECT_EQ(qsave_loader_image[0xC8], 0xBD);
    EXPECT_EQ(word_at(qsave_loader_image, 0xC9), table);
}

// Every call of the message printer is given, in X, the distance of a message.
TEST(qsave_loader_image, message_printer_is_called_with_message_distances) {
    const unsigned printer = 0xC8;
    const std::set<unsigned> distances = {0, 3, 6, 20};
    std::vector<instruction> code = decode(qsave_loader_image, 0x00, 0xD4);
    int calls = 0;
    for (size_t k = 1; k < code.size(); ++k) {
        if (code[k].op != 0x20 || word_at(qsave_loader_image, code[k].at + 1) != printer) continue;
        ++calls;
        const instruction& before = code[k - 1];
        ASSERT_EQ(before.op, 0xA2) << "LDX # before the call at " << code[k].at;
        EXPECT_TRUE(distances.count(qsave_loader_image[before.at + 1])) << "call at " << code[k].at;
    }
    EXPECT_EQ(calls, 4);
}

TEST(qsave_loader_image, start_and_fixed_targets) {
    EXPECT_EQ(qsave_loader_image[0x00], 0xD8) << "CLD";
    EXPECT_EQ(qsave_loader_image[0x01], 0x78) << "SEI";
    EXPECT_EQ(word_at(qsave_loader_image, 0x08), 0xFFE2u);
    EXPECT_EQ(word_at(qsave_loader_image, 0x90), 0xFFEBu);
    EXPECT_EQ(word_at(qsave_loader_image, 0xC3), 0xFFEBu);
    EXPECT_EQ(word_at(qsave_loader_image, 0xB8), 0xFFEEu);
    EXPECT_EQ(word_at(qsave_loader_image, 0xC6), 0xFFEEu);
    EXPECT_EQ(word_at(qsave_loader_image, 0xCE), 0xFFEEu);
    EXPECT_EQ(word_at(qsave_loader_image, 0x97), 0xD745u);
    EXPECT_EQ(word_at(qsave_loader_image, 0x9B), 0xD36Au);
    EXPECT_EQ(word_at(qsave_loader_image, 0xC0), 0x0203u);
    EXPECT_EQ(qsave_loader_image[0x7D], 0x6C);
    EXPECT_EQ(word_at(qsave_loader_image, 0x7E), 0x00F0u);
}

TEST(checksum_loader_image, fixed_targets) {
    EXPECT_EQ(word_at(checksum_loader_image, 0x62), 0xFFEEu);
    EXPECT_EQ(word_at(checksum_loader_image, 0xAB), 0xFFEBu);
    EXPECT_EQ(word_at(checksum_loader_image, 0xAE), 0xFFEEu);
    EXPECT_EQ(word_at(checksum_loader_image, 0xA8), 0x0203u);
    EXPECT_EQ(word_at(checksum_loader_image, 0xB3), 0x0203u);
    EXPECT_EQ(checksum_loader_image[0xA4], 0x2C) << "BIT absolute hiding LDA #$00";
    EXPECT_EQ(word_at(checksum_loader_image, 0xA5), 0x00A9u);
}

}  // namespace
