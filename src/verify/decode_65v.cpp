// The 65V ROM monitor as it takes a load file: "." opens an address command,
// whose hex digits roll into the current address (the last four count); "/"
// switches to data entry, where the digits roll into the byte at the current
// address and CR moves on to the next one; "G" after an address command
// starts the target there. Its hex digits are "0"-"9" and "A"-"F" alone; any
// other character, a lower-case letter included, is passed over.
#include <string>
#include <utility>

#include "verify/decoders.h"
#include "verify/text.h"

namespace {

enum class v65_mode { start, address, data };

struct v65_monitor {
    file_bytes file;
    store_kind kind;
    decoding& out;
    v65_pass pass;

    v65_mode mode = v65_mode::start;
    int address = 0;
    long command_offset = -1;  // the "." of the address command being read
    int address_digits = 0;
    bool command_faulted = false;  // one fault per address command
    bool start_faulted = false;    // one fault for text ahead of the first "."

    int entry = 0;  // the byte being rolled in
    int entry_digits = 0;
    long entry_offset = -1;  // its first character
    bool entry_faulted = false;
    int section_stores = 0;  // bytes stored since the last "/"

    void fault_here(long offset, int at, std::string text) {
        add_fault(out, offset, at, std::move(text));
    }

    void open_address(long offset) {
        mode = v65_mode::address;
        command_offset = offset;
        address_digits = 0;
        command_faulted = false;
    }

    // True when the address command holds its four digits; a fault otherwise.
    bool address_complete(const char* what) {
        if (address_digits == 4) return true;
        fault_here(command_offset, -1,
                   std::string(what) + " after an address of " +
                       hex_digit_count_text(address_digits) + "; the monitor needs 4");
        return false;
    }

    void store_entry() {
        out.stores.push_back({entry_offset, address, static_cast<unsigned char>(entry), kind});
        ++section_stores;
    }

    void end_section() {
        if (section_stores > 0) ++pass.sections;
        section_stores = 0;
    }

    // An entry ends at CR: two digits make the byte; the address moves on in every case.
    void end_entry(long offset) {
        if (entry_digits == 0) {
            if (!entry_faulted) fault_here(offset, address, "CR where a hex digit is needed");
        } else {
            if (entry_digits != 2 && !entry_faulted) {
                fault_here(entry_offset, address,
                           "data entry of " + hex_digit_count_text(entry_digits) +
                               "; the monitor needs 2");
            }
            store_entry();
        }
        address = (address + 1) & 0xFFFF;
        entry = 0;
        entry_digits = 0;
        entry_faulted = false;
    }

    // A data entry that the next command or the end of the file cuts off:
    // its digits are already in memory, but the address did not move on.
    void cut_entry(const char* by) {
        if (entry_digits == 0) return;
        if (!entry_faulted) {
            fault_here(entry_offset, address,
                       std::string("data entry not ended by CR but by ") + by);
        }
        store_entry();
        entry = 0;
        entry_digits = 0;
        entry_faulted = false;
    }

    // A lower-case letter is passed over like any other character, but is
    // reported each time: it is a digit the monitor did not take. It leaves
    // the other faults of its command or entry to be reported as they arise.
    bool passed_over_letter(unsigned char c, long offset, int at) {
        if (!is_lower_case_hex(c)) return false;
        fault_here(offset, at, lower_case_text(c, "65V"));
        return true;
    }

    void on_address_char(unsigned char c, long offset) {
        int d = monitor_digit_value(c);
        if (d >= 0) {
            address = ((address << 4) | d) & 0xFFFF;
            ++address_digits;
            return;
        }
        if (passed_over_letter(c, offset, -1)) return;
        if (c == '/') {
            address_complete("\"/\"");
            mode = v65_mode::data;
            entry = 0;
            entry_digits = 0;
            entry_faulted = false;
            section_stores = 0;
            return;
        }
        if (c == 'G') {
            address_complete("\"G\"");
            pass.go = {go_kind::address, address, command_offset};
            return;
        }
        if (c == '.') {
            if (!command_faulted && address_digits != 0) {
                fault_here(command_offset, -1, "address command without \"/\" or \"G\"");
            }
            open_address(offset);
            return;
        }
        if (!command_faulted) {
            fault_here(offset, -1, char_text(c) + " where a hex digit is needed");
            command_faulted = true;
        }
    }

    void on_data_char(unsigned char c, long offset) {
        int d = monitor_digit_value(c);
        if (d >= 0) {
            if (entry_digits == 0) entry_offset = offset;
            entry = ((entry << 4) | d) & 0xFF;
            ++entry_digits;
            return;
        }
        if (passed_over_letter(c, offset, address)) return;
        if (c == '\r') {
            end_entry(offset);
            return;
        }
        if (c == '.') {
            cut_entry("\".\"");
            end_section();
            open_address(offset);
            return;
        }
        if (!entry_faulted) {
            fault_here(offset, address, char_text(c) + " where a hex digit is needed");
            entry_faulted = true;
            if (entry_digits == 0) entry_offset = offset;
        }
    }

    void run(size_t begin) {
        size_t at = begin;
        for (; at < file.size(); ++at) {
            unsigned char c = file[at];
            long offset = static_cast<long>(at);
            switch (mode) {
                case v65_mode::start:
                    if (c == '.') {
                        open_address(offset);
                    } else if (!start_faulted) {
                        fault_here(offset, -1, char_text(c) + " where the \".\" command is needed");
                        start_faulted = true;
                    }
                    break;
                case v65_mode::address: on_address_char(c, offset); break;
                case v65_mode::data: on_data_char(c, offset); break;
            }
            if (pass.go.kind != go_kind::none) {
                pass.end = at + 1;
                return;
            }
        }
        pass.end = at;
        if (mode == v65_mode::address) {
            fault_here(command_offset, -1, "address command cut short by the end of the file");
        } else if (mode == v65_mode::data) {
            cut_entry("the end of the file");
            end_section();
        }
    }
};

}  // namespace

v65_pass read_65v_commands(file_bytes file, size_t begin, store_kind kind, decoding& out) {
    v65_monitor monitor{file, kind, out, {}};
    monitor.run(begin);
    return monitor.pass;
}

void decode_65v(file_bytes file, decoding& out) {
    out.format = file_format::mon_65v;
    v65_pass pass = read_65v_commands(file, 0, store_kind::data, out);
    out.records += pass.sections;
    out.go = pass.go;
    if (pass.end < file.size()) {
        add_fault(
            out, static_cast<long>(pass.end), -1,
            byte_count_text(static_cast<long>(file.size() - pass.end)) + " after the go command");
    }
}
