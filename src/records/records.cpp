#include "records/records.h"

#include <cstring>

#include "cli/parse.h"
#include "records/record_walk.h"

namespace {

bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }

// The runs of loaded addresses, ascending; $FFFF and $0000 are not consecutive.
std::vector<cell_range> loaded_runs(const std::vector<bool>& loaded) {
    std::vector<cell_range> runs;
    for (int a = 0; a < 0x10000; ++a) {
        if (!loaded[static_cast<size_t>(a)]) continue;
        if (!runs.empty() && runs.back().last == a - 1) {
            runs.back().last = a;
        } else {
            runs.push_back({a, a});
        }
    }
    return runs;
}

}  // namespace

bool read_hex_pairs(std::span<const unsigned char> text, unsigned char* bytes, size_t capacity,
                    size_t& count) {
    if (text.size() % 2 != 0 || text.size() / 2 > capacity) return false;
    count = text.size() / 2;
    for (size_t i = 0; i < count; ++i) {
        int high = hex_digit_value(text[2 * i]);
        int low = hex_digit_value(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

unsigned long long big_endian(const unsigned char* bytes, size_t n) {
    unsigned long long value = 0;
    for (size_t i = 0; i < n; ++i) value = value << 8 | bytes[i];
    return value;
}

run_end store_data(record_walk& walk, unsigned long long address, const unsigned char* data,
                   size_t n) {
    if (n == 0) return {};
    if (address + n - 1 > 0xFFFF) return line_refusal(walk, run_outcome::above_ffff);
    for (size_t i = 0; i < n; ++i) {
        if (walk.loaded[address + i]) {
            return {run_outcome::loaded_twice, walk.line, static_cast<int>(address + i)};
        }
    }
    for (size_t i = 0; i < n; ++i) {
        walk.loaded[address + i] = true;
        walk.load.memory[address + i] = data[i];
    }
    return {};
}

run_end read_records(std::span<const unsigned char> text, int input_type, record_load& load) {
    load = record_load{};
    load.memory.assign(0x10000, 0);
    record_walk walk{load};
    size_t at = 0;
    while (at < text.size()) {
        ++walk.line;
        const void* lf = std::memchr(text.data() + at, '\n', text.size() - at);
        const size_t end =
            lf != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(lf) - text.data())
                          : text.size();
        std::span<const unsigned char> line = text.subspan(at, end - at);
        at = end + 1;
        // A CR before the LF belongs to the line end; any other CR is no
        // part of a record.
        if (lf != nullptr && !line.empty() && line.back() == '\r')
            line = line.first(line.size() - 1);
        bool blank = true;
        for (unsigned char c : line) blank = blank && is_blank(c);
        if (blank) continue;
        if (walk.ended) return line_refusal(walk, run_outcome::not_a_record);
        run_end read =
            input_type == input_hex ? intel_hex_record(walk, line) : s_record(walk, line);
        if (read.outcome != run_outcome::converted) return read;
    }
    load.pieces = loaded_runs(walk.loaded);
    if (load.pieces.empty()) return {run_outcome::no_data};
    return {};
}

run_outcome read_record_text(in_stream& in, std::vector<unsigned char>& text) {
    constexpr size_t chunk = 64 * 1024;
    text.clear();
    while (!in.ended && !in.failed) {
        // One byte beyond the limit tells an input that is too large.
        size_t room = record_input_limit + 1 - text.size();
        if (room == 0) return run_outcome::input_too_large;
        size_t have = text.size();
        text.resize(have + (room < chunk ? room : chunk));
        text.resize(have + read_block(in, text.data() + have, text.size() - have));
    }
    if (in.failed) return run_outcome::read_input;
    return text.size() > record_input_limit ? run_outcome::input_too_large : run_outcome::converted;
}

void open_record_pieces(const record_load& load, record_pieces& opened) {
    const size_t n = load.pieces.size();
    opened.spans.clear();
    opened.streams.assign(n, in_stream{});
    opened.pieces.clear();
    for (const cell_range& r : load.pieces) {
        opened.spans.push_back(
            {load.memory.data() + r.first, static_cast<size_t>(r.last - r.first + 1)});
    }
    for (size_t i = 0; i < n; ++i) {
        open_input(opened.streams[i], span_source(opened.spans[i]));
        opened.pieces.push_back({load.pieces[i].first, &opened.streams[i]});
    }
}
