#include "core/argument_split.h"

namespace example {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> tokens;
    std::string::size_type i = 0;
    const auto size = line.size();

    // The program name: quotes group but are never escaped.
    {
        std::string program;
        bool quoted = false;
        while (i < size && (quoted || !isBlank(line[i]))) {
            if (line[i] == '"') {
                quoted = !quoted;
            } else {
                program += line[i];
            }
            ++i;
        }
        tokens.push_back(program);
    }

    for (;;) {
        while (i < size && isBlank(line[i])) {
            ++i;
        }
        if (i >= size) {
            break;
        }
        std::string token;
        bool quoted = false;
        while (i < size && (quoted || !isBlank(line[i]))) {
            if (line[i] == '\\') {
                std::string::size_type count = 0;
                while (i < size && line[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < size && line[i] == '"') {
                    token.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        token += '"';
                        ++i;
                    }
                } else {
                    token.append(count, '\\');
                }
                continue;
            }
            if (line[i] == '"') {
                if (quoted && i + 1 < size && line[i + 1] == '"') {
                    token += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            token += line[i];
            ++i;
        }
        tokens.push_back(token);
    }
    return tokens;
}

}  // namespace example
