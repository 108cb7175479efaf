#include "verify/command_line.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "basic/pacing.h"

const char verify_usage_line[] =
    "usage: korvane-verify [-v|-a|-c|-q|-i|-b[BAUD]] [-o IMAGE] [-O HEX] [-f] [FILE]\n";

const char verify_help_text[] =
    "usage: korvane-verify [-v|-a|-c|-q|-i|-b[BAUD]] [-o IMAGE] [-O HEX] [-f] [FILE]\n"
    "\n"
    "Reads an OSI load file (FILE, or standard input) as the target reads it and\n"
    "reports what it loads into memory, where it starts, and every fault. A\n"
    "cassette recording (WAV, FLAC, AIFF, Ogg, MP3) is decoded into its load file\n"
    "first, as korvane-tape -d decodes it.\n"
    "\n"
    "  -v        65V ROM monitor format\n"
    "  -a        65A serial monitor format\n"
    "  -c        checksum format\n"
    "  -q        QSave format\n"
    "  -i        hybrid: a loader in 65V form, then checksum or QSave data\n"
    "  -b[BAUD]  a BASIC listing for BASIC's LOAD, its NULs checked for BAUD\n"
    "            (300, 600 or 1200, attached; default a recording's own, else 300)\n"
    "            (without a letter the format is recognised from the file)\n"
    "  -o IMAGE  write the data loaded, lowest to highest address, gaps zero;\n"
    "            for a BASIC listing, the program BASIC holds after the load\n"
    "  -O HEX    write the data loaded as Intel HEX, each range from its start,\n"
    "            with the go address as its start address\n"
    "  -f        replace IMAGE or HEX if it exists\n"
    "  -h        this text\n"
    "\n"
    "Exit status: 0 the file loads cleanly, 1 it has faults, 2 a usage error,\n"
    "an unreadable input or an IMAGE or HEX that cannot be written.\n";

namespace {

file_format format_of(char letter) {
    switch (letter) {
        case 'v': return file_format::mon_65v;
        case 'a': return file_format::mon_65a;
        case 'c': return file_format::checksum;
        case 'q': return file_format::qsave;
        case 'i': return file_format::hybrid;
        case 'b': return file_format::basic;
        default: return file_format::unknown;
    }
}

// The file name after -o or -O (`what` names its value in the messages).
bool take_output_name(char letter, const char* what, const char*& name, std::string& error) {
    const std::string option = std::string("-") + letter;
    if (*optarg == '\0') {
        error = option + " needs " + what + " name";
        return false;
    }
    if (std::strcmp(optarg, "-") == 0) {
        error = option + " needs a file name; the report goes to standard output";
        return false;
    }
    name = optarg;
    return true;
}

// -b's value: none (0), or 300, 600 or 1200.
bool take_basic_baud(const char* value, int& baud) {
    baud = value == nullptr ? 0 : basic_baud_of(value);
    return value == nullptr || baud != 0;
}

}  // namespace

bool parse_verify_command_line(int argc, char** argv, verify_settings& settings,
                               std::string& error) {
    opterr = 0;
    optind = 0;  // a fresh scan
    for (;;) {
        int letter = getopt(argc, argv, ":vacqib::fho:O:");
        if (letter == -1) break;
        file_format format = format_of(static_cast<char>(letter));
        if (format != file_format::unknown) {
            if (settings.format != file_format::unknown && settings.format != format) {
                error = "only one of -v -a -c -q -i -b may be given";
                return false;
            }
            settings.format = format;
            if (letter == 'b' && !take_basic_baud(optarg, settings.basic_baud)) {
                error = std::string("-b takes 300, 600 or 1200, attached (-b600), not \"") +
                        optarg + "\"";
                return false;
            }
            continue;
        }
        switch (letter) {
            case 'f': settings.force = true; break;
            case 'h': settings.help = true; break;
            case 'o':
                if (!take_output_name('o', "an IMAGE", settings.image_name, error)) return false;
                break;
            case 'O':
                if (!take_output_name('O', "a HEX", settings.hex_name, error)) return false;
                break;
            case ':':
                error = optopt == 'O' ? "-O needs a HEX name" : "-o needs an IMAGE name";
                return false;
            default:
                error = std::string("unknown option -") + static_cast<char>(optopt);
                return false;
        }
    }
    if (argc - optind > 1) {
        error = "only one FILE may be given";
        return false;
    }
    if (optind < argc && std::strcmp(argv[optind], "-") != 0) settings.input_name = argv[optind];
    return true;
}
