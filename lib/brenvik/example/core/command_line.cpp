#include "core/command_line.h"

#include "core/app_options.h"
#include "core/paths.h"
#include "core/platform.h"

namespace example {

bool isApplyHelperPath(const std::string& path) {
    return toLowerCopy(fileNameOf(path)) == toLowerCopy(kHelperExeName);
}

bool isApplyHelperProcess() {
    return isApplyHelperPath(executablePath());
}

std::string usageText() {
    const std::string program = std::string("  ") + kProgramFileName + " ";
    return std::string("Usage:") + kLineEnd + program +
           "<program_dir> <download_dir> <target_exe_path> <current_version> [update_url]" + kLineEnd + kLineEnd +
           "Example:" + kLineEnd + program + kUsageExampleArguments + kLineEnd + program + kUsageExampleArguments +
           " " + defaultUpdateUrl();
}

bool parseArguments(int argc, const char* const argv[], std::string& argumentError) {
    if (argc != 5 && argc != 6) {
        argumentError = usageText();
        return false;
    }
    AppOptions& options = g_appOptions;
    const std::string workingDirectory = currentDirectory();
    options.programDir = makeAbsolute(argv[1], workingDirectory);
    options.downloadDir = argv[2];
    options.targetExePath = makeAbsolute(argv[3], options.programDir);
    options.currentVersion = argv[4];
    options.updateUrl = argc == 6 ? std::string(argv[5]) : defaultUpdateUrl();
    options.targetExeName = fileNameOf(options.targetExePath);

    const std::string* const fields[] = {&options.updateUrl,     &options.programDir,     &options.downloadDir,
                                         &options.targetExePath, &options.currentVersion, &options.targetExeName};
    for (const std::string* field : fields) {
        if (field->empty()) {
            argumentError = std::string("Arguments cannot be empty.") + kLineEnd + kLineEnd + usageText();
            return false;
        }
    }
    return true;
}

void writeConsoleError(const std::string& text) {
    platform::writeToParentConsole(text);
}

}  // namespace example
