// korvane-verify's whole run on a load file in memory: recognition or the
// given format, the decoding, the report, the image or listing and the Intel
// HEX of what the file loads.
//
// Fuzz data: the first byte chooses the command line: its value modulo 10 the
// format (none, -v, -a, -c, -q, -i, -b, -b300, -b600, -b1200), bit 4 -o (the
// report then lists the gaps and the image) and bit 5 -O; the rest is the
// load file.
//
// Checked beyond what the sanitizers catch: a refusal only for a file of no
// format recognised or a BASIC stream (given or recognised) with -O; the
// format given is the one read; the status is the count of faults the report
// ends with; a BASIC stream gives a listing and no image or Intel HEX, any
// other file no listing. And a file with no fault, its Intel HEX converted again by
// korvane -rhex in the same format (the hybrid's loader at the same place),
// with -g at its go address, verifies with no fault to the same image, the
// same Intel HEX and the same go line; one that loads nothing has Intel HEX
// that korvane refuses as holding no data.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "formats/primitives.h"
#include "in_memory.h"
#include "verify/verify_run.h"

namespace {

void expect(bool condition, const char* what) {
    if (!condition) check_failed("verify_fuzz", what);
}

struct format_choice {
    file_format format;
    int basic_baud;
};

constexpr format_choice choices[] = {
    {file_format::unknown, 0},  {file_format::mon_65v, 0}, {file_format::mon_65a, 0},
    {file_format::checksum, 0}, {file_format::qsave, 0},   {file_format::hybrid, 0},
    {file_format::basic, 0},    {file_format::basic, 300}, {file_format::basic, 600},
    {file_format::basic, 1200},
};

// The report's line that begins with the prefix, the prefix dropped; empty
// when there is none.
std::string_view report_line(std::string_view report, std::string_view prefix) {
    size_t at = 0;
    while (at < report.size()) {
        size_t end = report.find('\n', at);
        if (end == std::string_view::npos) end = report.size();
        std::string_view line = report.substr(at, end - at);
        if (line.substr(0, prefix.size()) == prefix) return line.substr(prefix.size());
        at = end + 1;
    }
    return {};
}

// The four hex digits after the first "$" of the text; -1 when it has none.
int address_in(std::string_view text) {
    const size_t dollar = text.find('$');
    if (dollar == std::string_view::npos || dollar + 5 > text.size()) return -1;
    int value = 0;
    for (char c : text.substr(dollar + 1, 4)) {
        const int digit = hex_digit_value(static_cast<unsigned char>(c));
        expect(digit >= 0, "an address in the report is not four hex digits");
        value = value << 4 | digit;
    }
    return value;
}

// "-xAAAA": an option with an address.
std::string with_address(const char* option, int address) {
    return option + address_text(address).substr(1);
}

// korvane's options for a file of the format; a hybrid's put its loader
// where the report places it.
std::vector<std::string> format_options(file_format format, std::string_view report) {
    switch (format) {
        case file_format::mon_65v: return {"-v"};
        case file_format::mon_65a: return {"-a"};
        case file_format::checksum: return {"-c"};
        case file_format::qsave: return {"-q"};
        case file_format::hybrid: {
            const std::string_view loader = report_line(report, "loader: ");
            const int place = address_in(loader);
            expect(place >= 0, "a hybrid's report names no loader place");
            return {loader.substr(0, 6) == "QSave " ? "-q" : "-c", with_address("-i", place)};
        }
        default: expect(false, "a format without a korvane option"); return {};
    }
}

// The file's Intel HEX converted again by korvane and verified in the same format.
void check_round_trip(const verify_settings& settings, const verify_output& first) {
    const auto* hex = reinterpret_cast<const unsigned char*>(first.hex.data());
    record_load load;
    const run_end read = read_records({hex, first.hex.size()}, input_hex, load);
    if (first.image.empty()) {
        expect(read.outcome == run_outcome::no_data, "Intel HEX of nothing loaded holds data");
        return;
    }
    expect(read.outcome == run_outcome::converted, "korvane refuses the Intel HEX written");

    // The go address: the one the report gives, where the Intel HEX names it
    // too; a 65A start from the register save area the data fills (which
    // the Intel HEX cannot name) is what -g makes of data there.
    const std::string_view go = report_line(first.report, "go: ");
    const int go_address = address_in(go);
    const bool named = go.substr(0, 1) == "$";
    expect(load.start == (named ? go_address : -1),
           "the Intel HEX's start is not the report's go address");

    std::vector<std::string> arguments = format_options(first.format, first.report);
    arguments.push_back("-rhex");
    if (go_address >= 0) arguments.push_back(with_address("-g", go_address));
    run_settings parsed;
    expect(korvane_settings(arguments, parsed) && check_settings(parsed) == run_outcome::converted,
           "korvane refuses the options of the round trip");
    run_outcome converted = run_outcome::usage;
    const std::string again = convert_records(parsed, load, converted);
    expect(converted == run_outcome::converted, "korvane does not convert the Intel HEX written");

    verify_settings same = settings;
    same.format = first.format;
    const auto* bytes = reinterpret_cast<const unsigned char*>(again.data());
    const verify_output second = verify_load_file(same, {bytes, again.size()}, "again", nullptr);
    expect(second.status == verify_clean, "the file converted again has faults");
    expect(second.image == first.image, "the file converted again loads another image");
    expect(second.hex == first.hex, "the file converted again gives other Intel HEX");
    expect(report_line(second.report, "go: ") == go, "the file converted again starts elsewhere");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    keep_check_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const format_choice& choice = choices[data[0] % 10];
    verify_settings settings;
    settings.format = choice.format;
    settings.basic_baud = choice.basic_baud;
    if ((data[0] & 0x10) != 0) settings.image_name = "image";
    if ((data[0] & 0x20) != 0) settings.hex_name = "hex";
    const std::span<const unsigned char> file(data + 1, size - 1);

    const verify_output run = verify_load_file(settings, file, "input", nullptr);
    if (run.status == verify_trouble) {
        expect(!run.error.empty() && run.report.empty(), "a refusal without a message");
        expect(run.format == file_format::unknown
                   ? settings.format == file_format::unknown
                   : run.format == file_format::basic && settings.hex_name != nullptr,
               "a refusal of a file that has a format");
        return 0;
    }
    expect(run.error.empty(), "a message without a refusal");
    expect(run.format != file_format::unknown &&
               (settings.format == file_format::unknown || run.format == settings.format),
           "the file is not read in the format given");
    const std::string_view faults = report_line(run.report, "faults: ");
    expect(run.report.ends_with("\nfaults: " + std::string(faults) + "\n"),
           "the report does not end with the count of faults");
    expect((faults == "0") == (run.status == verify_clean),
           "the status is not the one the faults call for");
    if (run.format == file_format::basic) {
        expect(run.image.empty() && run.hex.empty(), "a BASIC stream gives an image");
        return 0;
    }
    expect(run.listing.empty(), "a load into memory gives a listing");
    if (run.status == verify_clean) check_round_trip(settings, run);
    return 0;
}
