#include "formats/primitives.h"
#include "loaders/loader_image.h"

loader_place place_loader(const run_settings& settings, size_t pieces) {
    if (settings.loader_address > 0) {
        return {settings.loader_address, settings.load_address, false, false};
    }
    // A page below the data, where that page is free RAM; otherwise a fixed
    // place, with one piece of data from below $0200 moved above it.
    int below = settings.load_address - 0x100;
    if (below > system_area_end) return {below, settings.load_address, true, false};
    int load =
        settings.load_address < 0x200 && pieces == 1 ? moved_load_address : settings.load_address;
    return {fallback_loader_address, load, true, true};
}

bool loader_overlaps(int loader_address, data_extent data) {
    const int first = loader_address & 0xFFFF;
    const int last = first + static_cast<int>(loader_image_size) - 1;
    if (last <= 0xFFFF) return data_reaches(data.first, data.count, {first, last});
    return data_reaches(data.first, data.count, {first, 0xFFFF}) ||
           data_reaches(data.first, data.count, {0, last - 0x10000});
}

bool loader_in_system_area(int loader_address) {
    int first = loader_address & 0xFFFF;
    int last = first + static_cast<int>(loader_image_size) - 1;
    return first <= system_area_end || last > 0xFFFF;
}

const loader_image& loader_for(const run_settings& settings) {
    return settings.action == action_qsave ? qsave_loader : checksum_loader;
}

void relocate_loader(const loader_image& loader, int loader_address,
                     unsigned char copy[loader_image_size]) {
    for (size_t i = 0; i < loader_image_size; ++i) copy[i] = loader.bytes[i];
    for (size_t r = 0; r < loader.reloc_count; ++r) {
        size_t at = loader.relocs[r];
        unsigned word = copy[at] + 256u * copy[at + 1];
        word = (word + static_cast<unsigned>(loader_address)) & 0xFFFF;
        copy[at] = static_cast<unsigned char>(word & 0xFF);
        copy[at + 1] = static_cast<unsigned char>(word >> 8);
    }
}

int emit_loader(const loader_image& loader, int loader_address, out_stream& out) {
    unsigned char copy[loader_image_size];
    relocate_loader(loader, loader_address, copy);

    if (put_65v_address(loader_address, out) < 0) return -1;
    if (put_byte('/', out) < 0) return -1;
    char text[loader_image_size * 3];
    char* p = text;
    for (unsigned char b : copy) {
        p = format_hex_byte(b, p);
        *p++ = '\r';
    }
    if (put_block(text, sizeof text, out) < 0) return -1;
    return put_65v_go(loader_address + static_cast<int>(loader.entry_offset), out);
}

void prepare_hybrid(run_settings& settings, out_stream& out, size_t pieces) {
    loader_place place = place_loader(settings, pieces);
    settings.loader_address = place.loader_address;
    settings.load_address = place.load_address;
    // A failed write here is met again by the data encoder on the same stream.
    emit_loader(loader_for(settings), settings.loader_address, out);
}
