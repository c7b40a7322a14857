#include "QueueOptions.h"

#include <getopt.h>

#include <cstring>

namespace {

// Far more than any run needs, and small enough that the byte count
// (MiB << 20) cannot overflow.
constexpr std::uint64_t kMaxMebibytes = std::uint64_t{1} << 24;
constexpr std::uint64_t kMaxRuns = 1000;

const option kLongOptions[] = {
    {"mib", required_argument, nullptr, 'm'},
    {"runs", required_argument, nullptr, 'r'},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

const char* longNameOf(int shortName) {
    for (const option& o : kLongOptions) {
        if (o.name != nullptr && o.val == shortName) {
            return o.name;
        }
    }
    return "?";
}

// Digits only: no sign, no blanks, no suffix, no empty text; 1..max.
bool parseCount(const char* text, std::uint64_t max, std::uint64_t& value) {
    if (*text == '\0') {
        return false;
    }
    std::uint64_t result = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        result = result * 10 + static_cast<std::uint64_t>(*p - '0');
        if (result > max) {
            return false;
        }
    }
    if (result == 0) {
        return false;
    }
    value = result;
    return true;
}

std::string badValue(int shortName, const char* text, std::uint64_t max) {
    return std::string("--") + longNameOf(shortName) + ": '" + text + "' is not a whole number from 1 to " +
           std::to_string(max);
}

}  // namespace

ParseOutcome parseQueueOptions(int argc, char** argv, QueueOptions& options, std::string& error) {
    opterr = 0;  // the messages below replace getopt's own
    optind = 1;
    for (;;) {
        // '+': stop at the first non-option, which is then reported below;
        // ':': a missing value comes back as ':' rather than '?'.
        const int c = getopt_long(argc, argv, "+:m:r:h", kLongOptions, nullptr);
        if (c == -1) {
            break;
        }
        std::uint64_t value = 0;
        switch (c) {
        case 'm':
            if (!parseCount(optarg, kMaxMebibytes, value)) {
                error = badValue(c, optarg, kMaxMebibytes);
                return ParseOutcome::Error;
            }
            options.mebibytes = value;
            break;
        case 'r':
            if (!parseCount(optarg, kMaxRuns, value)) {
                error = badValue(c, optarg, kMaxRuns);
                return ParseOutcome::Error;
            }
            options.runs = static_cast<int>(value);
            break;
        case 'h':
            return ParseOutcome::Help;
        case ':':
            error = std::string("--") + longNameOf(optopt) + " needs a value";
            return ParseOutcome::Error;
        default:
            // optopt is the letter of an unknown short option and 0 for an
            // unknown long one, whose text is the argument just read.
            error = optopt != 0 ? std::string("unknown option '-") + static_cast<char>(optopt) + "'"
                                : std::string("unknown option '") + argv[optind - 1] + "'";
            return ParseOutcome::Error;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument '") + argv[optind] + "'";
        return ParseOutcome::Error;
    }
    return ParseOutcome::Run;
}

std::string queueUsage(const char* program) {
    const QueueOptions defaults;
    return std::string("usage: ") + program +
           " [--mib N] [--runs N]\n"
           "Moves N MiB from a producer thread to a consumer thread in chunks of\n"
           "64 B to 64 KiB, through CMemMq, through a Boost SPSC queue and through\n"
           "one shared buffer without queue bookkeeping (the handoff bound), and\n"
           "prints the median throughput of each.\n"
           "  -m, --mib N    MiB moved per run and queue (default " +
           std::to_string(defaults.mebibytes) +
           ")\n"
           "  -r, --runs N   runs per chunk size, the median is printed (default " +
           std::to_string(defaults.runs) +
           ")\n"
           "  -h, --help     print this text\n";
}
