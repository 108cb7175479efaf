// The 65A serial monitor as it takes a load file: "L" and four hex digits open
// a load at that address (an "L" before any digit starts the command again);
// hex pairs are stored at successive addresses, with spaces and line ends
// between them; "R" ends the load. "G" restarts the target from the register
// save area, $0129-$012F, whose last two bytes hold the start address.
// Its hex digits are "0"-"9" and "A"-"F" alone. In a load every other
// character is passed over: the digits pair up across it, so a lower-case
// letter shifts the pairing of every byte after it.
#include <string>
#include <utility>
#include <vector>

#include "verify/decoders.h"
#include "verify/text.h"

namespace {

enum class a65_mode { command, address, load };

bool is_separator(unsigned char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\0'; }

struct a65_block {
    long offset;         // the "L" that opened it
    size_t first_store;  // index into the stores
    size_t store_count;
};

struct a65_monitor {
    a65_monitor(file_bytes bytes, decoding& decoded)
        : file(bytes), out(decoded), first_store(decoded.stores.size()) {}

    file_bytes file;
    decoding& out;
    size_t first_store;  // the first store of this file
    std::vector<a65_block> blocks;

    a65_mode mode = a65_mode::command;
    bool faulted = false;  // one fault per command, per pair, per stretch between commands
    long command_offset = -1;
    int address = 0;
    int address_digits = 0;
    int pair = 0;
    int pair_digits = 0;
    long pair_offset = -1;
    size_t end = 0;  // after the start, or the end of the file

    void fault_once(long offset, int at, std::string text) {
        if (faulted) return;
        add_fault(out, offset, at, std::move(text));
        faulted = true;
    }

    void on_command_char(unsigned char c, long offset) {
        if (c == 'L') {
            mode = a65_mode::address;
            command_offset = offset;
            address_digits = 0;
            faulted = false;
        } else if (c == 'G') {
            out.go = {go_kind::register_area, -1, offset};
        } else if (!is_separator(c)) {
            fault_once(offset, -1, char_text(c) + " is not a monitor command");
        }
    }

    // A lower-case letter is reported each time and leaves the other faults
    // to be reported as they arise from what the monitor makes of the rest.
    bool passed_over_letter(unsigned char c, long offset, int at) {
        if (!is_lower_case_hex(c)) return false;
        add_fault(out, offset, at, lower_case_text(c, "65A"));
        return true;
    }

    void on_address_char(unsigned char c, long offset) {
        int d = monitor_digit_value(c);
        if (d >= 0) {
            address = ((address << 4) | d) & 0xFFFF;
            if (++address_digits == 4) {
                mode = a65_mode::load;
                blocks.push_back({command_offset, out.stores.size(), 0});
                pair_digits = 0;
                faulted = false;
            }
        } else if (c == 'L') {
            if (address_digits > 0) {
                fault_once(command_offset, -1,
                           "load command of " + hex_digit_count_text(address_digits) +
                               "; the monitor needs 4");
            }
            address_digits = 0;
        } else if (!passed_over_letter(c, offset, -1)) {
            fault_once(offset, -1, char_text(c) + " where a hex digit is needed");
        }
    }

    void on_load_char(unsigned char c, long offset) {
        int d = monitor_digit_value(c);
        if (d >= 0) {
            if (pair_digits == 0) pair_offset = offset;
            pair = ((pair << 4) | d) & 0xFF;
            if (++pair_digits == 2) {
                out.stores.push_back(
                    {pair_offset, address, static_cast<unsigned char>(pair), store_kind::data});
                ++blocks.back().store_count;
                address = (address + 1) & 0xFFFF;
                pair_digits = 0;
                faulted = false;
            }
            return;
        }
        if (passed_over_letter(c, offset, address)) return;
        if (pair_digits == 1) {
            fault_once(offset, address, char_text(c) + " where the second hex digit is needed");
        }
        if (c == 'R') {
            mode = a65_mode::command;
            faulted = false;
        } else if (!is_separator(c)) {
            fault_once(offset, address, char_text(c) + " where a hex digit is needed");
        }
    }

    void run() {
        size_t at = 0;
        for (; at < file.size() && out.go.kind == go_kind::none; ++at) {
            unsigned char c = file[at];
            long offset = static_cast<long>(at);
            switch (mode) {
                case a65_mode::command: on_command_char(c, offset); break;
                case a65_mode::address: on_address_char(c, offset); break;
                case a65_mode::load: on_load_char(c, offset); break;
            }
        }
        if (out.go.kind != go_kind::none) {
            // The start is sent as "G" up to four times.
            for (int more = 0; more < 3 && at < file.size() && file[at] == 'G'; ++more) ++at;
        } else if (mode == a65_mode::address) {
            add_fault(out, command_offset, -1, "load command cut short by the end of the file");
        } else if (mode == a65_mode::load) {
            add_fault(out, blocks.back().offset, -1,
                      "load not ended by \"R\" before the end of the file");
        }
        end = at;
    }

    // A load after the first that lies wholly in the register save area and
    // is followed by the start is the start sequence, not the program.
    void mark_register_sequence() {
        if (out.go.kind == go_kind::none || blocks.size() < 2) return;
        const a65_block& last = blocks.back();
        if (last.store_count == 0) return;
        for (size_t i = 0; i < last.store_count; ++i) {
            int a = out.stores[last.first_store + i].address;
            if (a < register_area_first || a > register_area_last) return;
        }
        for (size_t i = 0; i < last.store_count; ++i) {
            out.stores[last.first_store + i].kind = store_kind::register_area;
        }
    }

    // The start address is what $012E (high) and $012F (low) hold at the "G";
    // it comes from the start sequence when that sent both bytes last.
    void settle_start() {
        if (out.go.kind != go_kind::register_area) return;
        const store* high = nullptr;
        const store* low = nullptr;
        for (size_t i = first_store; i < out.stores.size(); ++i) {
            const store& s = out.stores[i];
            if (s.address == register_go_high) high = &s;
            if (s.address == register_go_low) low = &s;
        }
        if (high == nullptr || low == nullptr) return;
        out.go.address = high->value << 8 | low->value;
        out.go.start_sequence =
            high->kind == store_kind::register_area && low->kind == store_kind::register_area;
    }
};

}  // namespace

void decode_65a(file_bytes file, decoding& out) {
    out.format = file_format::mon_65a;
    a65_monitor monitor(file, out);
    monitor.run();
    monitor.mark_register_sequence();
    monitor.settle_start();
    for (const a65_block& b : monitor.blocks) {
        if (b.store_count > 0 && out.stores[b.first_store].kind == store_kind::data) ++out.records;
    }
    if (monitor.end < file.size()) {
        add_fault(out, static_cast<long>(monitor.end), -1,
                  byte_count_text(static_cast<long>(file.size() - monitor.end)) +
                      " after the go command");
    }
}
