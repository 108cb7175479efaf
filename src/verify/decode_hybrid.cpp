// The hybrid: the 65V monitor stores a loader section and starts it; from its
// go command on, that loader reads the rest of the file. The section must be
// one of the two loaders relocated to the section's address, byte for byte,
// started at its entry.
#include <string>

#include "loaders/loader_image.h"
#include "verify/decoders.h"
#include "verify/text.h"

namespace {

const loader_image& image_of(loader_kind kind) {
    return kind == loader_kind::qsave ? qsave_loader : checksum_loader;
}

loader_match compare(const std::vector<unsigned char>& bytes, loader_kind kind, int address) {
    unsigned char relocated[loader_image_size];
    relocate_loader(image_of(kind), address, relocated);
    loader_match result;
    result.kind = kind;
    bool found = false;
    size_t longest = bytes.size() > loader_image_size ? bytes.size() : loader_image_size;
    for (size_t i = 0; i < longest; ++i) {
        bool same = i < bytes.size() && i < loader_image_size && bytes[i] == relocated[i];
        if (same) continue;
        ++result.differences;
        if (found) continue;
        found = true;
        result.first_difference = i;
        if (i < loader_image_size) result.expected = relocated[i];
    }
    return result;
}

}  // namespace

loader_match match_loader(const std::vector<unsigned char>& bytes, int address) {
    loader_match with_checksum = compare(bytes, loader_kind::checksum, address);
    loader_match with_qsave = compare(bytes, loader_kind::qsave, address);
    return with_qsave.differences < with_checksum.differences ? with_qsave : with_checksum;
}

store_block contiguous_stores(const std::vector<store>& stores, size_t first) {
    store_block block;
    if (first < stores.size()) block.address = stores[first].address;
    for (size_t i = first; i < stores.size(); ++i) {
        const store& s = stores[i];
        if (s.address != ((block.address + static_cast<int>(block.bytes.size())) & 0xFFFF)) break;
        block.bytes.push_back(s.value);
        block.offsets.push_back(s.offset);
    }
    return block;
}

void decode_hybrid(file_bytes file, decoding& out) {
    out.format = file_format::hybrid;
    size_t first = out.stores.size();
    v65_pass section = read_65v_commands(file, 0, store_kind::loader, out);

    const store_block block = contiguous_stores(out.stores, first);
    const std::vector<unsigned char>& bytes = block.bytes;
    const std::vector<long>& offsets = block.offsets;
    const int address = block.address;
    if (first + bytes.size() < out.stores.size()) {
        const store& s = out.stores[first + bytes.size()];
        add_fault(out, s.offset, s.address,
                  "loader section does not run on from " +
                      address_text((address + static_cast<int>(bytes.size()) - 1) & 0xFFFF));
    }

    loader_match match = match_loader(bytes, address);
    const loader_image& loader = image_of(match.kind);
    out.loader = {match.kind, address, (address + static_cast<int>(loader.entry_offset)) & 0xFFFF,
                  0};

    if (match.differences > 0) {
        std::string text = "loader section matches neither loader; nearest is the " +
                           std::string(loader_name(match.kind)) + " loader, ";
        size_t i = match.first_difference;
        long offset = 0;
        int at = -1;
        if (i < bytes.size() && i < loader_image_size) {
            text += "which has " + byte_text(match.expected) + " here, not " + byte_text(bytes[i]);
            offset = offsets[i];
            at = (address + static_cast<int>(i)) & 0xFFFF;
        } else if (bytes.size() < loader_image_size) {
            text += "of " + std::to_string(loader_image_size) + " bytes; the section holds " +
                    std::to_string(bytes.size());
            offset = bytes.empty() ? 0 : offsets.back();
            at = bytes.empty() ? address : (address + static_cast<int>(bytes.size()) - 1) & 0xFFFF;
        } else {
            text += "of " + std::to_string(loader_image_size) + " bytes; the section holds more";
            offset = offsets[loader_image_size];
            at = (address + static_cast<int>(loader_image_size)) & 0xFFFF;
        }
        text += " (" + byte_count_text(match.differences) +
                (match.differences == 1 ? " differs)" : " differ)");
        add_fault(out, offset, at, text);
    }
    if (loader_in_system_area(address)) {
        add_fault(out, 0, address,
                  "loader at " + address_text(address) +
                      " lies in the target's system area ($0000-$0234)");
    }
    if (section.go.kind == go_kind::none) {
        add_fault(out, static_cast<long>(section.end), -1,
                  "the loader section has no go command before the end of the file");
        return;
    }
    if (section.go.address != out.loader.entry) {
        add_fault(out, section.go.offset, section.go.address,
                  "the loader is started at " + address_text(section.go.address) +
                      "; its entry is " + address_text(out.loader.entry));
    }
    if (match.kind == loader_kind::qsave) {
        decode_qsave_records(file, section.end, out);
    } else {
        decode_checksum_records(file, section.end, out);
    }
}

void decode_file(file_bytes file, file_format format, int basic_baud, decoding& out) {
    switch (format) {
        case file_format::mon_65v: decode_65v(file, out); break;
        case file_format::mon_65a: decode_65a(file, out); break;
        case file_format::checksum:
            out.format = format;
            decode_checksum_records(file, 0, out);
            break;
        case file_format::qsave:
            out.format = format;
            decode_qsave_records(file, 0, out);
            break;
        case file_format::hybrid: decode_hybrid(file, out); break;
        case file_format::basic: decode_basic(file, basic_baud, out); break;
        case file_format::unknown: break;
    }
}
