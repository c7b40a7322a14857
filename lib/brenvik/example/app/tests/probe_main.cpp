// Test build of the updater: the real start-up sequence, with an apply-helper
// run that only records its argument vector to "argv.txt" in its current
// directory. The helper DLL list comes from "helper_dlls.txt" beside the
// executable (one name a line) when that file exists.
#include "app/helper_mode.h"
#include "app/startup.h"
#include "core/app_options.h"
#include "core/paths.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

int g_argc = 0;
char** g_argv = nullptr;

std::vector<std::string> dllList() {
    std::ifstream in(
        example::normalizeSeparators(example::joinPath(example::executableDirectory(), "helper_dlls.txt")));
    if (!in) {
        return example::helperDllNames();
    }
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            names.push_back(line);
        }
    }
    return names;
}

}  // namespace

namespace example {

int runHelperMode(void*, int) {
    std::FILE* file = std::fopen("argv.tmp", "wb");
    if (file == nullptr) {
        return 2;
    }
    for (int i = 0; i < g_argc; ++i) {
        std::fprintf(file, "%zu:%s\n", std::strlen(g_argv[i]), g_argv[i]);
    }
    std::fclose(file);
    std::remove("argv.txt");
    return std::rename("argv.tmp", "argv.txt") == 0 ? 0 : 3;
}

}  // namespace example

int main(int argc, char* argv[]) {
    g_argc = argc;
    g_argv = argv;
    return example::runApplication(nullptr, 0, argc, argv, dllList());
}
