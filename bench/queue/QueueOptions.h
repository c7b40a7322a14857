#pragma once

#include <cstdint>
#include <string>

struct QueueOptions {
    std::uint64_t mebibytes = 4096;  // bytes moved per run, in MiB
    int runs = 5;
};

enum class ParseOutcome {
    Run,    // options are in place
    Help,   // the usage text was asked for
    Error,  // `error` says what is wrong
};

// Reads --mib N, --runs N and --help (also --mib=N and the -m, -r, -h short
// forms). A missing value, a value that is not a whole positive number, an
// unknown option or a stray argument is an error.
ParseOutcome parseQueueOptions(int argc, char** argv, QueueOptions& options, std::string& error);

std::string queueUsage(const char* program);
