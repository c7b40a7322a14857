#pragma once
// Long-option parsing for the project's Linux programs (the update server and
// the benchmarks), on top of getopt_long: every option is declared once with
// the variable it fills and a line of help, and `parse` turns a missing
// value, a malformed number or an unknown option into one clear message.
//
//   brenvik::cli::OptionParser parser("bench_x", "[OPTION]...", "Measures x.");
//   parser.number("runs", "N", "runs of each kind (default 5)", 1, 1000, runs);
//   std::vector<std::string> operands;
//   if (const auto status = parser.parse(argc, argv, operands, 0, 0)) return *status;

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brenvik::cli {

// Strict readers of option values: digits only (a size may end in K, M or
// G), within [min, max]; no sign, no spaces, no overflow.
bool readUnsigned(const std::string& text, std::uint64_t min, std::uint64_t max, std::uint64_t& value);
bool readSize(const std::string& text, std::uint64_t min, std::uint64_t max, std::uint64_t& value);
bool readDecimal(const std::string& text, double min, double max, double& value);

class OptionParser {
public:
    // `operands` and `summary` open the help text: "usage: PROGRAM OPERANDS"
    // (several lines of usage may be given, separated by '\n'), then the summary.
    OptionParser(std::string program, std::string operands, std::string summary);

    // The option's value is handed to `apply`, which stores it or returns why
    // it refuses it. A null `help` keeps the option out of the help text.
    using Apply = std::function<std::string(const std::string& value)>;
    OptionParser& custom(const char* name, const char* valueName, const char* help, Apply apply);

    OptionParser& text(const char* name, const char* valueName, const char* help, std::string& target);
    // Repeatable: each occurrence appends its value.
    OptionParser& texts(const char* name, const char* valueName, const char* help, std::vector<std::string>& target);
    OptionParser& flag(const char* name, const char* help, bool& target);
    template <typename Integer>
    OptionParser& number(const char* name, const char* valueName, const char* help, std::uint64_t min,
                         std::uint64_t max, Integer& target) {
        return custom(name, valueName, help, [min, max, &target](const std::string& value) {
            std::uint64_t read = 0;
            if (!readUnsigned(value, min, max, read)) return rangeProblem(value, min, max);
            target = static_cast<Integer>(read);
            return std::string();
        });
    }
    OptionParser& size(const char* name, const char* valueName, const char* help, std::uint64_t min, std::uint64_t max,
                       std::uint64_t& target);
    OptionParser& decimal(const char* name, const char* valueName, const char* help, double min, double max,
                          double& target);

    // Parses `argv`, filling the declared variables and `operands` (options
    // and operands may be mixed; "--" ends the options). Returns nothing when
    // the program should go on, or its exit status: 0 after --help (the help
    // text on standard output), 2 after a usage error (the message and a
    // pointer to --help on standard error).
    std::optional<int> parse(int argc, char** argv, std::vector<std::string>& operands, std::size_t minOperands,
                             std::size_t maxOperands, const std::string& operandName = "argument");

    // Whether the last parse met the option.
    bool given(const char* name) const;
    std::string help() const;
    // The message `parse` prints for `why`, with its exit status 2; for the
    // program's own checks of how the options combine.
    int fail(const std::string& why) const;

private:
    struct Option {
        std::string name;
        std::string valueName;  // empty for a flag
        std::string help;
        bool hidden = false;
        Apply apply;
        bool given = false;
    };
    static std::string rangeProblem(const std::string& value, std::uint64_t min, std::uint64_t max);
    std::string parseOptions(int argc, char** argv, std::vector<std::string>& operands, bool& wantsHelp);
    Option* find(const std::string& name);

    std::string program_;
    std::string operands_;
    std::string summary_;
    std::vector<Option> options_;
};

}  // namespace brenvik::cli
