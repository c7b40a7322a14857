#include "command_line.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <iostream>
#include <sstream>

namespace brenvik::cli {

bool readUnsigned(const std::string& text, std::uint64_t min, std::uint64_t max, std::uint64_t& value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const std::uint64_t read = std::strtoull(text.c_str(), nullptr, 10);
    if (read < min || read > max) return false;
    value = read;
    return true;
}

bool readSize(const std::string& text, std::uint64_t min, std::uint64_t max, std::uint64_t& value) {
    if (text.empty()) return false;
    unsigned shift = 0;
    std::string digits = text;
    switch (text.back()) {
    case 'K':
        shift = 10;
        break;
    case 'M':
        shift = 20;
        break;
    case 'G':
        shift = 30;
        break;
    default:
        break;
    }
    if (shift != 0) digits.pop_back();
    std::uint64_t count = 0;
    if (!readUnsigned(digits, 0, UINT64_MAX >> shift, count)) return false;
    const std::uint64_t bytes = count << shift;
    if (bytes < min || bytes > max) return false;
    value = bytes;
    return true;
}

bool readDecimal(const std::string& text, double min, double max, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    char* end = nullptr;
    const double read = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(read) || read < min || read > max) return false;
    value = read;
    return true;
}

OptionParser::OptionParser(std::string program, std::string operands, std::string summary)
    : program_(std::move(program)), operands_(std::move(operands)), summary_(std::move(summary)) {}

OptionParser& OptionParser::custom(const char* name, const char* valueName, const char* help, Apply apply) {
    Option option;
    option.name = name;
    option.valueName = valueName != nullptr ? valueName : "";
    option.hidden = help == nullptr;
    option.help = help != nullptr ? help : "";
    option.apply = std::move(apply);
    options_.push_back(std::move(option));
    return *this;
}

OptionParser& OptionParser::text(const char* name, const char* valueName, const char* help, std::string& target) {
    return custom(name, valueName, help, [&target](const std::string& value) {
        target = value;
        return std::string();
    });
}

OptionParser& OptionParser::texts(const char* name, const char* valueName, const char* help,
                                  std::vector<std::string>& target) {
    return custom(name, valueName, help, [&target](const std::string& value) {
        target.push_back(value);
        return std::string();
    });
}

OptionParser& OptionParser::flag(const char* name, const char* help, bool& target) {
    return custom(name, nullptr, help, [&target](const std::string&) {
        target = true;
        return std::string();
    });
}

OptionParser& OptionParser::size(const char* name, const char* valueName, const char* help, std::uint64_t min,
                                 std::uint64_t max, std::uint64_t& target) {
    return custom(name, valueName, help, [min, max, &target](const std::string& value) {
        if (readSize(value, min, max, target)) return std::string();
        return "\"" + value + "\" is not a size in bytes from " + std::to_string(min) + " to " + std::to_string(max) +
               " (a number, optionally followed by K, M or G)";
    });
}

OptionParser& OptionParser::decimal(const char* name, const char* valueName, const char* help, double min, double max,
                                    double& target) {
    return custom(name, valueName, help, [min, max, &target](const std::string& value) {
        if (readDecimal(value, min, max, target)) return std::string();
        std::ostringstream why;
        why << "\"" << value << "\" is not a number from " << min << " to " << max;
        return why.str();
    });
}

std::string OptionParser::rangeProblem(const std::string& value, std::uint64_t min, std::uint64_t max) {
    return "\"" + value + "\" is not a whole number from " + std::to_string(min) + " to " + std::to_string(max);
}

OptionParser::Option* OptionParser::find(const std::string& name) {
    for (auto& option : options_) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

bool OptionParser::given(const char* name) const {
    for (const auto& option : options_) {
        if (option.name == name) return option.given;
    }
    return false;
}

std::string OptionParser::help() const {
    std::ostringstream out;
    std::istringstream usages(operands_);
    std::string line;
    bool first = true;
    while (std::getline(usages, line)) {
        out << (first ? "usage: " : "       ") << program_ << " " << line << "\n";
        first = false;
    }
    out << summary_ << "\n\n";
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& option : options_) {
        if (option.hidden) continue;
        rows.emplace_back("--" + option.name + (option.valueName.empty() ? "" : " " + option.valueName), option.help);
    }
    rows.emplace_back("-h, --help", "show this help and exit");
    std::size_t width = 0;
    for (const auto& row : rows) width = std::max(width, row.first.size());
    for (const auto& row : rows) {
        out << "  " << row.first << std::string(width - row.first.size() + 2, ' ');
        // Continuation lines of a long help text line up under its start.
        std::istringstream helpLines(row.second);
        bool firstLine = true;
        while (std::getline(helpLines, line)) {
            if (!firstLine) out << std::string(width + 4, ' ');
            out << line << "\n";
            firstLine = false;
        }
    }
    return out.str();
}

int OptionParser::fail(const std::string& why) const {
    std::cerr << program_ << ": " << why << "\n"
              << "Run '" << program_ << " --help' for the options.\n";
    return 2;
}

std::string OptionParser::parseOptions(int argc, char** argv, std::vector<std::string>& operands, bool& wantsHelp) {
    // Long options get values from 256 up: the index of the option plus 256.
    constexpr int kFirst = 256;
    std::vector<option> table;
    for (std::size_t i = 0; i < options_.size(); ++i) {
        options_[i].given = false;
        table.push_back({options_[i].name.c_str(), options_[i].valueName.empty() ? no_argument : required_argument,
                         nullptr, kFirst + static_cast<int>(i)});
    }
    table.push_back({"help", no_argument, nullptr, 'h'});
    table.push_back({nullptr, 0, nullptr, 0});

    // Reported here rather than by getopt itself, and a later parse in the
    // same process starts afresh.
    opterr = 0;
    optind = 0;
    for (;;) {
        const int got = getopt_long(argc, argv, ":h", table.data(), nullptr);
        if (got == -1) break;
        // The element just read (getopt has moved the operands out of the way).
        const std::string arg = optind > 0 && optind <= argc ? argv[optind - 1] : "";
        if (got == 'h') {
            wantsHelp = true;
            continue;
        }
        if (got == ':') {
            return (optopt >= kFirst ? "--" + options_[optopt - kFirst].name : arg) + " needs a value";
        }
        if (got == '?') {
            if (optopt >= kFirst) return "--" + options_[optopt - kFirst].name + " takes no value";
            if (optopt != 0) return std::string("unknown option -") + static_cast<char>(optopt);
            return "unknown or ambiguous option " + arg.substr(0, arg.find('='));
        }
        Option& option = options_[got - kFirst];
        option.given = true;
        const std::string value = optarg != nullptr ? optarg : "";
        // "--host --port 1" would otherwise quietly take "--port" as the host.
        // A value that starts with '-' can still be given as --name=VALUE.
        if (optarg != nullptr && optarg == argv[optind - 1] && value.size() > 1 && value[0] == '-') {
            return "--" + option.name + " needs a value, not the option " + value + " (write --" + option.name + "=" +
                   value + " for a value that starts with '-')";
        }
        const std::string problem = option.apply(value);
        if (!problem.empty()) return "--" + option.name + ": " + problem;
    }
    for (int i = optind; i < argc; ++i) operands.emplace_back(argv[i]);
    return std::string();
}

std::optional<int> OptionParser::parse(int argc, char** argv, std::vector<std::string>& operands,
                                       std::size_t minOperands, std::size_t maxOperands,
                                       const std::string& operandName) {
    operands.clear();
    bool wantsHelp = false;
    const std::string problem = parseOptions(argc, argv, operands, wantsHelp);
    if (wantsHelp) {
        std::cout << help();
        return 0;
    }
    if (!problem.empty()) return fail(problem);
    if (operands.size() > maxOperands) return fail("unexpected argument " + operands[maxOperands]);
    if (operands.size() < minOperands) return fail("missing " + operandName);
    return std::nullopt;
}

}  // namespace brenvik::cli
