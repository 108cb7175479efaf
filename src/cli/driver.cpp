#include "cli/driver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/output_file.h"
#include "cli/warnings.h"
#include "formats/encoders.h"
#include "formats/primitives.h"
#include "formats/streams.h"
#include "loaders/loader_image.h"
#include "records/records.h"

namespace {

// Where the data lies, as far as it is known before the conversion: every
// piece of a record input; a named regular file's one piece (after a PRG
// file's load address). Standard input and pipes are taken on trust.
std::vector<data_extent> known_extents(const run_settings& s, const file_names& names, int in_fd,
                                       const record_load& records) {
    std::vector<data_extent> known;
    if (s.input_type == input_hex || s.input_type == input_srec) {
        for (const cell_range& r : records.pieces) {
            known.push_back({r.first, static_cast<unsigned long long>(r.last - r.first + 1)});
        }
        return known;
    }
    struct stat st {};
    if (names.input == nullptr || fstat(in_fd, &st) != 0 || !S_ISREG(st.st_mode)) return known;
    const long long header = s.input_type == input_prg ? 2 : 0;
    const long long size = st.st_size > header ? st.st_size - header : 0;
    known.push_back({s.load_address, static_cast<unsigned long long>(size)});
    return known;
}

// The place of the hybrid's loader when known data would overwrite it, or
// -1. A derived place is checked where the loader is at its fixed place and
// the data left where it is; a given place only for inputs that give their
// own addresses: for a raw image it is the user's to choose.
int overwritten_loader(const run_settings& s, std::span<const data_extent> data, size_t pieces) {
    if (!hybrid_applies(s)) return -1;
    const loader_place place = place_loader(s, pieces);
    const bool checked = place.derived ? place.fixed && place.load_address == s.load_address
                                       : s.input_type != input_bin;
    if (!checked) return -1;
    for (const data_extent& e : data) {
        if (loader_overlaps(place.loader_address, e)) return place.loader_address;
    }
    return -1;
}

// Reads the whole listing, leaving the input open: `converted`, or
// read_input for a failed read, or not_basic for an input that holds a NUL
// or is larger than a listing (no more of it is read than that takes).
run_outcome read_listing(in_stream& in, std::vector<unsigned char>& listing) {
    listing.resize(listing_limit + 1);
    listing.resize(read_block(in, listing.data(), listing.size()));
    if (in.failed) return run_outcome::read_input;
    return is_listing(listing) ? run_outcome::converted : run_outcome::not_basic;
}

// Writes the BASIC stream of a listing read whole and closes the output;
// the warnings follow once it is complete.
run_outcome convert_listing(const run_settings& settings, const std::vector<unsigned char>& listing,
                            out_stream& out) {
    const std::vector<listing_line> lines = split_listing(listing);
    if (encode_basic(settings, lines, out) < 0 || out.failed) return run_outcome::write_output;
    for (const std::string& warning : basic_warnings(lines)) {
        if (write_message(warning.c_str()) < 0) break;
    }
    return run_outcome::converted;
}

}  // namespace

run_outcome convert(run_settings& settings, std::span<piece> pieces, out_stream& out) {
    if (hybrid_applies(settings)) {
        loader_place place = place_loader(settings, pieces.size());
        if (!place.derived && loader_in_system_area(place.loader_address)) {
            // Like every warning, it changes neither the output nor the status.
            (void)write_message(loader_warning(place.loader_address).c_str());
        }
        prepare_hybrid(settings, out, pieces.size());
        if (pieces.size() == 1) pieces[0].address = settings.load_address;
    }
    switch (settings.action) {
        case action_65v: encode_65v(settings, pieces, out); break;
        case action_checksum: encode_checksum(settings, pieces, out); break;
        case action_qsave: encode_qsave(settings, pieces, out); break;
        case action_65a: encode_65a(settings, pieces, out); break;
        default:
            for (piece& p : pieces) close_input(*p.in);
            close_output(out);
            return run_outcome::no_action;
    }
    if (out.failed) return run_outcome::write_output;
    for (const piece& p : pieces) {
        if (p.in->failed) return run_outcome::read_input;
    }
    // The data's last address is known only now, standard input included.
    // A warning changes neither the output nor the status; once standard
    // error fails, the rest have nowhere to go.
    for (const std::string& warning : load_warnings(settings, piece_extents(pieces))) {
        if (write_message(warning.c_str()) < 0) break;
    }
    return run_outcome::converted;
}

run_outcome convert(run_settings& settings, in_stream& in, out_stream& out) {
    if (settings.action == action_basic) {
        std::vector<unsigned char> listing;
        const run_outcome read = read_listing(in, listing);
        close_input(in);
        if (read != run_outcome::converted) {
            close_output(out);
            return read;
        }
        return convert_listing(settings, listing, out);
    }
    piece one{settings.load_address, &in};
    return convert(settings, std::span<piece>(&one, 1), out);
}

run_outcome check_settings(const run_settings& settings) {
    if (settings.bad_basic_baud == 1) return run_outcome::bad_basic_baud;
    if (settings.bad_input_type == 1) return run_outcome::bad_input_type;
    if (settings.action == action_none) return run_outcome::no_action;
    if (settings.action == action_basic) {
        return settings.input_type == input_bin ? run_outcome::converted
                                                : run_outcome::basic_input_type;
    }
    if (settings.input_type != input_bin && settings.load_given == 1) {
        return run_outcome::load_with_records;
    }
    return run_outcome::converted;
}

run_end run(run_settings& settings, const file_names& names) {
    if (run_outcome checked = check_settings(settings); checked != run_outcome::converted) {
        return {checked};
    }

    int in_fd = STDIN_FILENO;
    if (names.input != nullptr) {
        in_fd = open(names.input, O_RDONLY | O_CLOEXEC);
        if (in_fd < 0) return {run_outcome::open_input};
    } else {
        SET_BINARY_MODE(in_fd);
    }
    auto refuse = [&](run_end end) {
        if (names.input != nullptr) close(in_fd);
        return end;
    };

    // The input: a raw image and a PRG file's image stream through the
    // conversion; records and listings are read whole, before anything is
    // written.
    in_stream in;
    open_input(in, fd_source(in_fd));
    const bool records_given =
        settings.input_type == input_hex || settings.input_type == input_srec;
    record_load records;
    std::vector<unsigned char> listing;
    if (settings.action == action_basic) {
        // A listing is read whole before the output is opened, and refused at this step.
        if (run_outcome read = read_listing(in, listing); read != run_outcome::converted) {
            return refuse({read});
        }
    } else if (settings.input_type == input_prg) {
        run_outcome read = read_prg_header(in, settings.load_address);
        if (read != run_outcome::converted) return refuse({read});
    } else if (records_given) {
        std::vector<unsigned char> text;
        run_outcome read = read_record_text(in, text);
        if (read != run_outcome::converted) return refuse({read});
        run_end parsed = read_records(text, settings.input_type, records);
        if (parsed.outcome != run_outcome::converted) return refuse(parsed);
        settings.load_address = records.pieces.front().first;
    }
    const size_t piece_count = records_given ? records.pieces.size() : 1;
    const int overwritten =
        overwritten_loader(settings, known_extents(settings, names, in_fd, records), piece_count);
    if (overwritten >= 0) return refuse({run_outcome::loader_overlap, 0, overwritten});

    int out_fd = STDOUT_FILENO;
    if (names.output != nullptr) {
        switch (open_output_file(names.output, settings.force_overwrite == 1, in_fd, out_fd)) {
            case output_open::opened: break;
            case output_open::exists: return refuse({run_outcome::output_exists});
            case output_open::same_file: return refuse({run_outcome::same_file});
            case output_open::failed: return refuse({run_outcome::open_output});
        }
    } else {
        SET_BINARY_MODE(out_fd);
        if (same_regular_file(in_fd, out_fd)) return refuse({run_outcome::same_file});
    }

    out_stream out;
    open_output(out, fd_sink(out_fd));
    if (settings.action == action_basic) {
        close_input(in);
        return {convert_listing(settings, listing, out)};
    }
    if (!records_given) {
        piece one{settings.load_address, &in};
        return {convert(settings, std::span<piece>(&one, 1), out)};
    }

    // Records were read whole: the input has nothing more to give, and each
    // piece streams from memory.
    close_input(in);
    record_pieces pieces;
    open_record_pieces(records, pieces);
    run_outcome converted = convert(settings, pieces.pieces, out);
    if (converted == run_outcome::converted && records.start > 0 && settings.go_address < 0) {
        (void)write_message(
            start_address_warning(static_cast<unsigned long long>(records.start)).c_str());
    }
    return {converted};
}
