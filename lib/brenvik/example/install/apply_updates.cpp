#include "install/apply_updates.h"

#include "core/paths.h"
#include "core/platform.h"
#include "install/output_file.h"
#include "install/zip_extract.h"

namespace example {

bool copyFileTo(const std::string& source, const std::string& target, std::string& error) {
    const std::string targetParent = parentPathOf(target);
    if (!targetParent.empty() && !createDirectoryTree(targetParent)) {
        error = "Failed to create directory: " + targetParent;
        return false;
    }
    const int permissions = existingPermissions(target);
    const std::uint32_t code = copyFileReplacing(source, target);
    if (code == 0) {
        // The copy has already taken the target's place, with the bits of the
        // downloaded file; not getting the old ones back does not undo it.
        (void)restorePermissions(target, permissions);
        return true;
    }
    error = "Failed to copy " + source + " to " + target + ": " + errorText(code);
    return false;
}

bool applyUpdates(const std::vector<std::string>& filenames, const std::string& downloadDir,
                  const std::string& programDir, LogSink& log, std::string& error) {
    if (!createDirectoryTree(programDir)) {
        error = "Failed to create apply directory: " + programDir;
        return false;
    }
    for (const std::string& name : filenames) {
        const std::string relativeName = normalizeSeparators(name);
        if (relativeName.empty()) continue;
        if (isUnsafeRelativePath(relativeName)) {
            error = "Unsafe update file path: " + relativeName;
            return false;
        }
        if (endsWithSeparator(relativeName)) {
            const std::string directoryPath = joinPath(programDir, relativeName);
            log.logLine("dir: " + relativeName);
            if (!createDirectoryTree(directoryPath)) {
                error = "Failed to create update directory: " + directoryPath;
                return false;
            }
            continue;
        }
        const std::string downloadedPath = joinPath(downloadDir, relativeName);
        if (hasZipSuffix(relativeName)) {
            // The archive's own folder only says where it was downloaded to;
            // its contents are relative to the program directory.
            log.logLine("zip: " + relativeName);
            if (!extractZip(downloadedPath, programDir, log, error)) return false;
            continue;
        }
        const std::string targetPath = joinPath(programDir, relativeName);
        log.logLine("file: " + relativeName);
        if (!copyFileTo(downloadedPath, targetPath, error)) return false;
    }
    return true;
}

}  // namespace example
