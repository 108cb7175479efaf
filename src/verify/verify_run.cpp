#include "verify/verify_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/messages.h"
#include "cli/output_file.h"
#include "formats/streams.h"
#include "records/records.h"
#include "verify/audio_header.h"
#include "verify/audio_input.h"
#include "verify/decoders.h"
#include "verify/memory_map.h"
#include "verify/report.h"

namespace {

std::string system_error(int error) { return std::strerror(error); }

void complain(const std::string& text) {
    write_message(("korvane-verify: " + text + "\n").c_str());
}

std::string failure_reason() { return errno != 0 ? system_error(errno) : "write failed"; }

// Writes n bytes to the named file: exclusive creation unless force, never
// onto the input itself; a failed write or close is an error.
bool write_named(const char* name, bool force, const input_file& input, const void* data, size_t n,
                 std::string& error) {
    int fd = -1;
    output_open opened = open_output_file(name, force, input.fd, fd);
    if (opened != output_open::opened) {
        error = refusal_text(opened, name);
        return false;
    }
    if (!write_and_close(fd, data, n)) {
        error = std::string(name) + ": " + failure_reason();
        return false;
    }
    return true;
}

// What the file's data stores loaded, as Intel HEX: each range, and the go
// address that the file names (a 65A start through the register save area
// names one when its start sequence sets it).
std::string loaded_hex(const decoding& decoded, const memory_map& map) {
    std::vector<cell_range> pieces;
    for (const address_range& r : map.ranges) pieces.push_back({r.first, r.last});
    const go_info& go = decoded.go;
    const bool named =
        go.kind == go_kind::address || (go.kind == go_kind::register_area && go.start_sequence);
    return intel_hex_text(map.bytes, pieces, named ? go.address : -1);
}

}  // namespace

bool read_input(const char* name, input_file& input, std::string& error) {
    const char* shown = name != nullptr ? name : "standard input";
    int fd = STDIN_FILENO;
    if (name != nullptr) {
        fd = open(name, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = std::string(shown) + ": " + system_error(errno);
            return false;
        }
    }
    input.fd = fd;
    in_stream in;
    open_input(in, fd_source(fd));
    constexpr size_t chunk = 64 * 1024;
    bool good = true;
    for (;;) {
        size_t have = input.bytes.size();
        input.bytes.resize(have + chunk);
        errno = 0;
        size_t got = read_block(in, input.bytes.data() + have, chunk);
        input.bytes.resize(have + got);
        if (in.failed) {
            error = std::string(shown) + ": " + system_error(errno);
            good = false;
            break;
        }
        if (input.bytes.size() > verify_input_limit) {
            error = std::string(shown) + ": larger than " +
                    std::to_string(verify_input_limit >> 20) + " MiB, too large for a load file";
            good = false;
            break;
        }
        if (have == 0 && looks_like_audio(input.bytes.data(), input.bytes.size())) {
            input.audio = true;
            break;
        }
        if (got < chunk) break;
    }
    // The input stays open until the run ends, to be told apart from the image.
    return good;
}

bool write_image(const verify_settings& settings, const input_file& input,
                 const std::vector<unsigned char>& image, std::string& error) {
    return write_named(settings.image_name, settings.force, input, image.data(), image.size(),
                       error);
}

verify_output verify_load_file(const verify_settings& settings, std::span<const unsigned char> file,
                               const char* shown, const audio_summary* audio) {
    verify_output result;
    auto trouble = [&](std::string text) {
        result.status = verify_trouble;
        result.error = std::move(text);
        return result;
    };
    file_format format = settings.format;
    bool recognised = false;
    if (format == file_format::unknown) {
        recognition found = recognise_format(file);
        if (found.format == file_format::unknown) {
            return trouble(std::string(shown) + ": " + found.problem);
        }
        format = found.format;
        recognised = true;
    }
    result.format = format;

    // BASIC keeps a program, not bytes at addresses: there is no Intel HEX of it.
    if (format == file_format::basic && settings.hex_name != nullptr) {
        return trouble(std::string(settings.hex_name) +
                       ": a BASIC listing loads no memory image to write as Intel HEX; -o writes "
                       "the program as a listing");
    }
    // A BASIC stream's NULs are checked for -b's rate, else the recording's own, else 300.
    int basic_baud = settings.basic_baud;
    if (basic_baud == 0) basic_baud = audio != nullptr && audio->baud != 0 ? audio->baud : 300;
    decoding decoded;
    decode_file(file, format, basic_baud, decoded);
    memory_map map = map_memory(decoded);
    std::vector<fault> faults = collect_faults(decoded, map);

    if (format == file_format::basic) {
        result.listing = program_listing(decoded.basic);
    } else {
        result.image = image_bytes(map);
        result.hex = loaded_hex(decoded, map);
    }
    result.report = report_text(decoded, recognised, map, faults, settings.image_name, audio);
    const bool clean = faults.empty() && (audio == nullptr || audio->faults.empty());
    result.status = clean ? verify_clean : verify_faults;
    return result;
}

int verify_main(int argc, char** argv) {
    verify_settings settings;
    std::string error;
    if (!parse_verify_command_line(argc, argv, settings, error)) {
        complain(error);
        write_message(verify_usage_line);
        return verify_trouble;
    }
    if (settings.help) {
        if (!write_and_close(STDOUT_FILENO, verify_help_text, std::strlen(verify_help_text))) {
            complain("standard output: " + failure_reason());
            return verify_trouble;
        }
        return verify_clean;
    }

    input_file input;
    if (!read_input(settings.input_name, input, error)) {
        complain(error);
        return verify_trouble;
    }
    const char* shown = settings.input_name != nullptr ? settings.input_name : "standard input";
    audio_summary audio;
    if (input.audio &&
        !decode_audio_input(input.fd, shown, verify_input_limit, input.bytes, audio, error)) {
        complain(error);
        return verify_trouble;
    }
    const verify_output run =
        verify_load_file(settings, input.bytes, shown, input.audio ? &audio : nullptr);
    if (run.status == verify_trouble) {
        complain(run.error);
        return verify_trouble;
    }
    if (settings.image_name != nullptr &&
        !write_image(settings, input, run.format == file_format::basic ? run.listing : run.image,
                     error)) {
        complain(error);
        return verify_trouble;
    }
    if (settings.hex_name != nullptr && !write_named(settings.hex_name, settings.force, input,
                                                     run.hex.data(), run.hex.size(), error)) {
        complain(error);
        return verify_trouble;
    }
    if (!write_and_close(STDOUT_FILENO, run.report.data(), run.report.size())) {
        complain("standard output: " + failure_reason());
        return verify_trouble;
    }
    return run.status;
}
