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

namespace {

// With the loader at its fixed place and the data left where -l put it, a
// named input must end below the loader. Standard input is taken on trust.
bool data_reaches_loader(const run_settings& s, const file_names& names, int in_fd) {
    if (!hybrid_applies(s) || names.input == nullptr) return false;
    loader_place place = place_loader(s);
    if (!place.fixed || place.load_address != s.load_address) return false;
    struct stat st {};
    if (fstat(in_fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return place.load_address + st.st_size > fallback_loader_address;
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
    if (hybrid_applies(settings)) {
        loader_place place = place_loader(settings);
        if (!place.derived && loader_in_system_area(place.loader_address)) {
            // Like every warning, it changes neither the output nor the status.
            (void)write_message(loader_warning(place.loader_address).c_str());
        }
        prepare_hybrid(settings, out);
    }
    switch (settings.action) {
        case action_65v: encode_65v(settings, in, out); break;
        case action_checksum: encode_checksum(settings, in, out); break;
        case action_qsave: encode_qsave(settings, in, out); break;
        case action_65a: encode_65a(settings, in, out); break;
        default:
            close_input(in);
            close_output(out);
            return run_outcome::no_action;
    }
    if (out.failed) return run_outcome::write_output;
    if (in.failed) return run_outcome::read_input;
    // The data's last address is known only now, standard input included.
    // A warning changes neither the output nor the status; once standard
    // error fails, the rest have nowhere to go.
    for (const std::string& warning : load_warnings(settings, in.count)) {
        if (write_message(warning.c_str()) < 0) break;
    }
    return run_outcome::converted;
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
    auto refuse = [&](run_outcome outcome) {
        if (names.input != nullptr) close(in_fd);
        return run_end{outcome};
    };
    // A listing is read whole before the output is opened, and refused at this step.
    in_stream in;
    open_input(in, fd_source(in_fd));
    std::vector<unsigned char> listing;
    if (settings.action == action_basic) {
        if (run_outcome read = read_listing(in, listing); read != run_outcome::converted) {
            return refuse(read);
        }
    }
    if (data_reaches_loader(settings, names, in_fd)) return refuse(run_outcome::loader_overlap);

    int out_fd = STDOUT_FILENO;
    if (names.output != nullptr) {
        switch (open_output_file(names.output, settings.force_overwrite == 1, in_fd, out_fd)) {
            case output_open::opened: break;
            case output_open::exists: return refuse(run_outcome::output_exists);
            case output_open::same_file: return refuse(run_outcome::same_file);
            case output_open::failed: return refuse(run_outcome::open_output);
        }
    } else {
        SET_BINARY_MODE(out_fd);
        if (same_regular_file(in_fd, out_fd)) return refuse(run_outcome::same_file);
    }

    out_stream out;
    open_output(out, fd_sink(out_fd));
    if (settings.action == action_basic) {
        close_input(in);
        return {convert_listing(settings, listing, out)};
    }
    return {convert(settings, in, out)};
}
