#include "core/process_control.h"

#include "core/app_options.h"
#include "core/paths.h"
#include "core/platform.h"

namespace example {

namespace {

constexpr std::uint32_t kTerminateWaitMilliseconds = 5000;

}  // namespace

void terminateProcessesByName(const std::string& name) {
    const std::string expectedName = toLowerCopy(name);
    const std::uint32_t ownId = platform::currentProcessId();
    for (const platform::ProcessEntry& process : platform::listProcesses()) {
        if (process.id != ownId && toLowerCopy(process.executableName) == expectedName) {
            platform::terminateProcess(process, kTerminateWaitMilliseconds);
        }
    }
}

std::vector<std::string> helperArguments(const std::string& helperPath, const std::string& updateFilesDirectory) {
    const AppOptions& options = g_appOptions;
    return {helperPath,       options.programDir, updateFilesDirectory, options.targetExePath, options.currentVersion,
            options.updateUrl};
}

bool startApplyHelper(std::string& error, const std::vector<std::string>& dllNames) {
    const std::string sourceExe = executablePath();
    if (sourceExe.empty()) {
        error = "Failed to locate updater executable.";
        return false;
    }

    const std::string workDirectory = makeAbsolute(g_appOptions.downloadDir, currentDirectory());
    const std::string helperDirectory = joinPath(workDirectory, kHelperDirectoryName);
    const std::string updateFilesDirectory = joinPath(workDirectory, kUpdateFilesDirectoryName);

    const std::string helperPath = joinPath(helperDirectory, kHelperExeName);
    // The helper reads its own path into a buffer of this size; started from
    // a longer one it could do nothing, after this run had said all was well.
    if (helperPath.size() >= kPathBufferSize) {
        error = "Apply helper path too long (" + std::to_string(helperPath.size()) + " bytes, at most " +
                std::to_string(kPathBufferSize - 1) + "): " + helperPath;
        return false;
    }

    if (!createDirectoryTree(workDirectory)) {
        error = "Failed to create update work directory: " + workDirectory;
        return false;
    }
    // A link in place of either directory would have the helper copied, or
    // the release downloaded, to wherever it points.
    if (platform::isLink(helperDirectory)) {
        error = "Refusing a helper directory that is a link: " + helperDirectory;
        return false;
    }
    if (!createDirectoryTree(helperDirectory)) {
        error = "Failed to create helper directory: " + helperDirectory;
        return false;
    }
    if (platform::isLink(updateFilesDirectory)) {
        error = "Refusing an update download directory that is a link: " + updateFilesDirectory;
        return false;
    }
    if (!createDirectoryTree(updateFilesDirectory)) {
        error = "Failed to create update download directory: " + updateFilesDirectory;
        return false;
    }

    if (const std::uint32_t code = copyFileReplacing(sourceExe, helperPath)) {
        error = "Failed to create apply helper: " + errorText(code);
        return false;
    }

    const std::string sourceDirectory = executableDirectory();
    for (const std::string& name : dllNames) {
        const std::uint32_t code = copyFileReplacing(joinPath(sourceDirectory, name), joinPath(helperDirectory, name));
        if (code != 0) {
            error = "Failed to copy helper DLL " + name + ": " + errorText(code);
            return false;
        }
    }

    const std::vector<std::string> arguments = helperArguments(helperPath, updateFilesDirectory);
    if (const std::uint32_t code = platform::startProcess(helperPath, arguments, helperDirectory)) {
        error = "Failed to start apply helper: " + errorText(code);
        return false;
    }
    return true;
}

bool startApplyHelper(std::string& error) {
    return startApplyHelper(error, helperDllNames());
}

bool launchTarget(std::string& error) {
    // No arguments: on Windows the command line is the quoted path alone.
    const std::string exePath = g_appOptions.targetExePath;

    std::string workingDirectory = g_appOptions.programDir;
    if (!directoryExists(workingDirectory)) {
        const std::string targetDirectory = parentPathOf(exePath);
        workingDirectory = directoryExists(targetDirectory) ? targetDirectory : std::string();
    }

    if (const std::uint32_t code = platform::startProcess(exePath, {exePath}, workingDirectory)) {
        error = std::string(kStartProcessCall) + " failed: " + errorText(code) + ", exe=" + exePath +
                ", cwd=" + (workingDirectory.empty() ? std::string("(default)") : workingDirectory);
        return false;
    }
    return true;
}

}  // namespace example
