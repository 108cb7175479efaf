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

const char* name_of(loader_kind kind) { return kind == loader_kind::qsave ? "QSave" : "checksum"; }

struct comparison {
    long differences = 0;
    size_t first_difference = 0;
};

comparison compare(const std::vector<unsigned char>& bytes, const loader_image& loader,
                   int address) {
    unsigned char relocated[loader_image_size];
    relocate_loader(loader, address, relocated);
    comparison result;
    bool found = false;
    size_t longest = bytes.size() > loader_image_size ? bytes.size() : loader_image_size;
    for (size_t i = 0; i < longest; ++i) {
        bool same = i < bytes.size() && i < loader_image_size && bytes[i] == relocated[i];
        if (same) continue;
        ++result.differences;
        if (!found) result.first_difference = i;
        found = true;
    }
    return result;
}

}  // namespace

loader_match match_loader(const std::vector<unsigned char>& bytes, int address) {
    comparison with_checksum = compare(bytes, checksum_loader, address);
    comparison with_qsave = compare(bytes, qsave_loader, address);
    if (with_qsave.differences < with_checksum.differences) {
        return {loader_kind::qsave, with_qsave.differences, with_qsave.first_difference};
    }
    return {loader_kind::checksum, with_checksum.differences, with_checksum.first_difference};
}

void decode_hybrid(file_bytes file, decoding& out) {
    out.format = file_format::hybrid;
    size_t first = out.stores.size();
    v65_pass section = read_65v_commands(file, 0, store_kind::loader, out);

    // The section as one run of bytes from the address of its first store.
    std::vector<unsigned char> bytes;
    std::vector<long> offsets;
    int address = first < out.stores.size() ? out.stores[first].address : 0;
    for (size_t i = first; i < out.stores.size(); ++i) {
        const store& s = out.stores[i];
        if (s.address != ((address + static_cast<int>(bytes.size())) & 0xFFFF)) {
            add_fault(out, s.offset, s.address,
                      "loader section does not run on from " +
                          address_text((address + static_cast<int>(bytes.size()) - 1) & 0xFFFF));
            break;
        }
        bytes.push_back(s.value);
        offsets.push_back(s.offset);
    }

    loader_match match = match_loader(bytes, address);
    const loader_image& loader = image_of(match.kind);
    out.loader = {match.kind, address, (address + static_cast<int>(loader.entry_offset)) & 0xFFFF,
                  0};

    if (match.differences > 0) {
        std::string text = "loader section matches neither loader; nearest is the " +
                           std::string(name_of(match.kind)) + " loader, ";
        size_t i = match.first_difference;
        long offset = 0;
        int at = -1;
        if (i < bytes.size() && i < loader_image_size) {
            unsigned char relocated[loader_image_size];
            relocate_loader(loader, address, relocated);
            text += "which has " + byte_text(relocated[i]) + " here, not " + byte_text(bytes[i]);
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
        add_fault(
            out, 0, address,
            "the loader " +
                span_text(address, (address + static_cast<int>(loader_image_size) - 1) & 0xFFFF) +
                " lies in the target's system area ($0000-$021B)");
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

void decode_file(file_bytes file, file_format format, decoding& out) {
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
        case file_format::unknown: break;
    }
}
