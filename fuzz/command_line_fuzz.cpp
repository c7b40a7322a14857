// Quoting and splitting the helper's command line. The input is read twice:
//  - as an argument vector, one argument per line ('\n' separates them, the
//    first is the program): every argument quoted, joined by blanks and split
//    again must give the same vector;
//  - as a command line: splitting it, quoting the tokens and splitting again
//    must give the first split's tokens.
// The program token follows the runtime's simpler rule (quotes group, nothing
// escapes them), so a program containing a quote cannot travel quoted; such
// a vector is left out, as one whose program ends in a backslash keeps all
// but the program token. Executable paths never hold either.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/argument_split.h"
#include "core/paths.h"

#include "fuzz_check.h"

namespace {

using Arguments = std::vector<std::string>;

std::string joinQuoted(const Arguments& arguments) {
    std::string line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i != 0) line += ' ';
        line += example::quoteArgument(arguments[i]);
    }
    return line;
}

void checkRoundTrip(const Arguments& arguments) {
    const std::string& program = arguments.front();
    if (program.find('"') != std::string::npos) return;
    const Arguments split = example::splitCommandLine(joinQuoted(arguments));
    CHECK(split.size() == arguments.size());
    const bool programTravels = program.empty() || program.back() != '\\';
    for (std::size_t i = programTravels ? 0 : 1; i < arguments.size(); ++i) {
        CHECK(split[i] == arguments[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    Arguments arguments;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = input.find('\n', start);
        arguments.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    checkRoundTrip(arguments);

    const Arguments tokens = example::splitCommandLine(input);
    CHECK(!tokens.empty());
    checkRoundTrip(tokens);
    return 0;
}
