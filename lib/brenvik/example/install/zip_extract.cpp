#include "install/zip_extract.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <minizip/unzip.h>
#include <zlib.h>

#include "core/paths.h"
#include "core/platform.h"
#include "install/output_file.h"

namespace example {

namespace {

constexpr std::size_t kNameBufferSize = 4096;
constexpr std::size_t kCopyBufferSize = 65536;

// Closes the archive on every way out.
struct ArchiveCloser {
    void operator()(void* archive) const { unzClose(archive); }
};
using Archive = std::unique_ptr<void, ArchiveCloser>;

// Zip's method numbers for the two forms the reader can inflate; any other
// (bzip2, LZMA, ...) it would hand out as the compressed bytes themselves.
constexpr int kMethodStored = 0;
constexpr int kMethodDeflated = 8;
// General purpose flag bit 0: the entry is encrypted.
constexpr uLong kFlagEncrypted = 1;
// The "made by" host that records POSIX permission bits in the upper half of
// the external attributes.
constexpr uLong kHostUnix = 3;

bool readableMethod(const unz_file_info64& info) {
    return (info.compression_method == kMethodStored || info.compression_method == kMethodDeflated) &&
           (info.flag & kFlagEncrypted) == 0;
}

// The permission bits a zip made on a POSIX system recorded for the entry,
// without set-user-id, set-group-id and sticky; -1 when none were recorded.
int recordedPermissions(const unz_file_info64& info) {
    if ((info.version >> 8) != kHostUnix) return -1;
    const uLong permissions = (info.external_fa >> 16) & 0777;
    return permissions != 0 ? static_cast<int>(permissions) : -1;
}

// Copies the current entry to `output` (which it closes) and checks that
// what came out is what the archive's directory promises: the reader stops
// early on a deflate stream that ends short without a word, and checks the
// CRC only when the whole entry was read.
bool copyCurrentEntry(unzFile archive, const unz_file_info64& info, std::FILE* output, std::vector<char>& buffer) {
    bool shortWrite = false;
    int readResult = 0;
    ZPOS64_T size = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (;;) {
        readResult = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (readResult < 1) break;
        const auto wanted = static_cast<std::size_t>(readResult);
        size += wanted;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(wanted));
        if (std::fwrite(buffer.data(), 1, wanted, output) != wanted) {
            shortWrite = true;
            break;
        }
    }
    // A failed fclose means buffered bytes never reached the file.
    const bool closedCleanly = std::fclose(output) == 0;
    const int closeStatus = unzCloseCurrentFile(archive);
    return !shortWrite && readResult == 0 && closedCleanly && closeStatus == UNZ_OK && size == info.uncompressed_size &&
           crc == info.crc;
}

// True for a file that holds nothing but an end-of-central-directory record
// with no entries (and its comment). The zip reader refuses such a file
// because its directory starts at offset 0, yet it is the ordinary form of
// an archive without entries.
bool isBareEmptyArchive(const std::string& zipPath) {
    constexpr long kRecordSize = 22;
    std::FILE* file = std::fopen(systemPath(zipPath).c_str(), "rb");
    if (file == nullptr) return false;
    unsigned char record[kRecordSize] = {};
    const bool read = std::fread(record, 1, kRecordSize, file) == kRecordSize;
    const bool sized = std::fseek(file, 0, SEEK_END) == 0;
    const long size = sized ? std::ftell(file) : -1;
    std::fclose(file);
    if (!read || size < kRecordSize) return false;
    const auto field = [&record](int offset) { return record[offset] | (record[offset + 1] << 8); };
    const bool signature = record[0] == 'P' && record[1] == 'K' && record[2] == 5 && record[3] == 6;
    return signature && field(8) == 0 && field(10) == 0 && size == kRecordSize + field(20);
}

}  // namespace

bool extractZip(const std::string& zipPath, const std::string& destination, LogSink& log, std::string& error) {
    Archive archive(unzOpen64(systemPath(zipPath).c_str()));
    if (!archive) {
        if (isBareEmptyArchive(zipPath)) return true;
        error = "Failed to open zip file: " + zipPath;
        return false;
    }
    unzFile handle = archive.get();

    int status = unzGoToFirstFile(handle);
    if (status == UNZ_END_OF_LIST_OF_FILE) return true;
    // The reader does not report an empty directory as the end of the list;
    // its entry count does.
    unz_global_info64 globalInfo{};
    if (status != UNZ_OK && unzGetGlobalInfo64(handle, &globalInfo) == UNZ_OK && globalInfo.number_entry == 0) {
        return true;
    }
    if (status != UNZ_OK) {
        error = "Failed to read first zip entry: " + zipPath;
        return false;
    }

    std::vector<char> copyBuffer(kCopyBufferSize);
    std::vector<char> nameBuffer(kNameBufferSize);
    while (status == UNZ_OK) {
        unz_file_info64 fileInfo;
        std::memset(&fileInfo, 0, sizeof fileInfo);
        std::fill(nameBuffer.begin(), nameBuffer.end(), '\0');
        if (unzGetCurrentFileInfo64(handle, &fileInfo, nameBuffer.data(), static_cast<uLong>(nameBuffer.size()),
                                    nullptr, 0, nullptr, 0) != UNZ_OK ||
            fileInfo.size_filename >= kNameBufferSize) {
            // A name that does not fit with its terminator would arrive cut
            // short and name a different path; refuse it instead.
            error = "Failed to read zip entry metadata.";
            return false;
        }

        const std::string entryName =
            normalizeSeparators(std::string(nameBuffer.data(), std::strlen(nameBuffer.data())));
        if (entryName.empty()) {
            status = unzGoToNextFile(handle);
            continue;
        }
        if (isUnsafeRelativePath(entryName)) {
            error = "Unsafe zip entry path: " + entryName;
            return false;
        }

        const std::string outputPath = joinPath(destination, entryName);
        if (endsWithSeparator(entryName)) {
            if (!createDirectoryTree(outputPath)) {
                error = "Failed to create zip directory: " + outputPath;
                return false;
            }
            status = unzGoToNextFile(handle);
            continue;
        }

        const std::string outputParent = parentPathOf(outputPath);
        if (!outputParent.empty() && !createDirectoryTree(outputParent)) {
            error = "Failed to create zip entry directory: " + outputParent;
            return false;
        }
        if (!readableMethod(fileInfo) || unzOpenCurrentFile(handle) != UNZ_OK) {
            error = "Failed to open zip entry: " + entryName;
            return false;
        }
        // The entry is written beside its target and takes the target's
        // place only once it is complete and checked, so a broken entry, a
        // full disk or a kill leaves the old file whole; a link planted in
        // the target's place is replaced, not written through.
        std::string temporaryPath;
        std::FILE* output = openTemporaryBeside(outputPath, temporaryPath);
        if (output == nullptr) {
            unzCloseCurrentFile(handle);
            error = "Failed to create extracted file: " + outputPath;
            return false;
        }
        if (!copyCurrentEntry(handle, fileInfo, output, copyBuffer)) {
            removeFile(temporaryPath);
            error = "Failed while extracting zip entry: " + entryName;
            return false;
        }
        int permissions = recordedPermissions(fileInfo);
        if (permissions < 0) permissions = existingPermissions(outputPath);
        if (permissions < 0) permissions = newFilePermissions();
        // The temporary file was made for its owner alone; left so, it would
        // take the place of a file others could read or run.
        if (!restorePermissions(temporaryPath, permissions) || moveFileReplacing(temporaryPath, outputPath) != 0) {
            removeFile(temporaryPath);
            error = "Failed to create extracted file: " + outputPath;
            return false;
        }
        log.logLine("Extracted: " + entryName);
        status = unzGoToNextFile(handle);
    }

    if (status != UNZ_END_OF_LIST_OF_FILE) {
        error = "Failed while iterating zip entries.";
        return false;
    }
    return true;
}

}  // namespace example
