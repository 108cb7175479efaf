#include "tape/command_line.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

const char tape_usage_line[] = "usage: korvane-tape [-d] [options] [-o OUT] [IN]\n";

const char tape_help_text[] =
    "usage: korvane-tape [-d] [options] [-o OUT] [IN]\n"
    "\n"
    "Turns an OSI load file (IN, or standard input) into Kansas City standard\n"
    "cassette audio (OUT, or WAV on standard output), or with -d a recording back\n"
    "into the bytes it carries.\n"
    "\n"
    "  -o OUT     the output; the container follows its name: .wav, .flac, .aiff\n"
    "  -f         replace OUT if it exists\n"
    "  -b BAUD    300 (default), 600 or 1200; with -d, found by itself unless given\n"
    "  -1         one stop bit instead of two\n"
    "  -L SECONDS leader of 2400 Hz before the first byte (default 5)\n"
    "  -T SECONDS trailer after the last byte (default 2)\n"
    "  -r RATE    samples per second, 8000 to 192000 (default 44100)\n"
    "  -s FORMAT  samples: 8, 16 (default), 24 or float\n"
    "  -w SHAPE   sine (default) or square\n"
    "  -a DB      peak level below full scale, 0 to 60 (default 3)\n"
    "  -v         say how many bytes were written and how long they play\n"
    "  -d         decode a recording (WAV, FLAC, AIFF, Ogg, MP3; mono or stereo)\n"
    "  -c CHANNEL with -d: left, right or mix (default: the cleaner signal)\n"
    "  -h         this text\n"
    "\n"
    "Exit status: 0 done, 1 the recording has faults (its bytes are still\n"
    "written), 2 a usage error, an unreadable input or a failed write.\n";

namespace {

// A decimal number of digits with at most one point, from low to high.
bool parse_decimal(const char* text, double low, double high, double& value) {
    int digits = 0;
    int points = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p >= '0' && *p <= '9') {
            ++digits;
        } else if (*p == '.') {
            ++points;
        } else {
            return false;
        }
    }
    if (digits == 0 || points > 1) return false;
    value = std::strtod(text, nullptr);
    return value >= low && value <= high;
}

bool parse_whole(const char* text, int low, int high, int& value) {
    if (std::strchr(text, '.') != nullptr) return false;
    double number = 0;
    if (!parse_decimal(text, low, high, number)) return false;
    value = static_cast<int>(number);
    return true;
}

// Options that shape the audio, and so mean nothing to the decoder.
bool encoding_only(int letter) { return std::strchr("1LTrswa", letter) != nullptr; }

bool value_error(int letter, std::string& error) {
    std::string option = std::string("-") + static_cast<char>(letter);
    switch (letter) {
        case 'b': error = option + " takes 300, 600 or 1200"; break;
        case 'L':
        case 'T': error = option + " takes seconds, from 0 to 60"; break;
        case 'r': error = option + " takes a sample rate from 8000 to 192000"; break;
        case 's': error = option + " takes 8, 16, 24 or float"; break;
        case 'w': error = option + " takes sine or square"; break;
        case 'a': error = option + " takes decibels, from 0 to 60"; break;
        case 'c': error = option + " takes left, right or mix"; break;
        default: error = option + " needs a file name"; break;
    }
    return false;
}

bool take_value(int letter, const char* value, tape_settings& s, std::string& error) {
    auto is = [&](const char* word) { return std::strcmp(value, word) == 0; };
    tape_signal& signal = s.signal;
    bool good = true;
    switch (letter) {
        case 'o':
            good = *value != '\0';
            s.output_name = is("-") ? nullptr : value;
            break;
        case 'b':
            good = parse_whole(value, 300, 1200, signal.baud) && is_kcs_baud(signal.baud);
            s.decoding.baud = signal.baud;
            break;
        case 'L': good = parse_decimal(value, 0, 60, signal.leader_seconds); break;
        case 'T': good = parse_decimal(value, 0, 60, signal.trailer_seconds); break;
        case 'r': good = parse_whole(value, lowest_rate, highest_rate, signal.rate); break;
        case 'a': good = parse_decimal(value, 0, 60, signal.level_db); break;
        case 's':
            if (is("8")) {
                s.format = sample_format::pcm8;
            } else if (is("16")) {
                s.format = sample_format::pcm16;
            } else if (is("24")) {
                s.format = sample_format::pcm24;
            } else if (is("float")) {
                s.format = sample_format::float32;
            } else {
                good = false;
            }
            break;
        case 'w':
            good = is("sine") || is("square");
            signal.shape = is("square") ? wave_shape::square : wave_shape::sine;
            break;
        case 'c':
            good = is("left") || is("right") || is("mix");
            s.decoding.channel = is("left")    ? channel_choice::left
                                 : is("right") ? channel_choice::right
                                               : channel_choice::mix;
            break;
        default: break;
    }
    return good || value_error(letter, error);
}

}  // namespace

bool parse_tape_command_line(int argc, char** argv, tape_settings& settings, std::string& error) {
    opterr = 0;
    optind = 0;  // a fresh scan
    int encoding_letter = 0;
    bool channel_given = false;
    for (;;) {
        int letter = getopt(argc, argv, ":hdfv1o:b:L:T:r:s:w:a:c:");
        if (letter == -1) break;
        if (letter == '?') {
            error = std::string("unknown option -") + static_cast<char>(optopt);
            return false;
        }
        if (letter == ':') {
            error = std::string("-") + static_cast<char>(optopt) + " needs a value";
            return false;
        }
        if (encoding_only(letter) && encoding_letter == 0) encoding_letter = letter;
        if (letter == 'c') channel_given = true;
        switch (letter) {
            case 'h': settings.help = true; break;
            case 'd': settings.decode = true; break;
            case 'f': settings.force = true; break;
            case 'v': settings.verbose = true; break;
            case '1': settings.signal.stop_bits = 1; break;
            default:
                if (!take_value(letter, optarg, settings, error)) return false;
                break;
        }
    }
    if (argc - optind > 1) {
        error = "only one IN may be given";
        return false;
    }
    if (optind < argc && std::strcmp(argv[optind], "-") != 0) settings.input_name = argv[optind];
    if (settings.decode && encoding_letter != 0) {
        error =
            std::string("-") + static_cast<char>(encoding_letter) + " is for encoding; -d decodes";
        return false;
    }
    if (!settings.decode && channel_given) {
        error = "-c is for decoding, with -d";
        return false;
    }
    return true;
}
