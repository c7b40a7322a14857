#include "install_test_support.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace example::testing {

namespace fs = std::filesystem;

void writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    fs::create_directories(fs::path(path).parent_path());
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr) << path;
    std::vector<std::pair<std::string, int>> renumbered;
    for (const ZipEntry& entry : entries) {
        zip_fileinfo info{};
        const auto size = static_cast<unsigned>(entry.content.size());
        if (entry.rawMethod >= 0 || entry.unixMode != 0) {
            const bool raw = entry.rawMethod >= 0;
            const std::string& bytes = raw ? entry.rawBytes : entry.content;
            info.external_fa = static_cast<uLong>(entry.unixMode) << 16;
            const uLong madeOnUnix = (3u << 8) | 20u;
            // The writer knows only stored and deflate; other methods are
            // written as stored and renumbered once the archive is closed.
            const bool renumber = raw && entry.rawMethod != 0 && entry.rawMethod != Z_DEFLATED;
            if (renumber) renumbered.emplace_back(entry.name, entry.rawMethod);
            ASSERT_EQ(zipOpenNewFileInZip4(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                           !raw       ? Z_DEFLATED
                                           : renumber ? 0
                                                      : entry.rawMethod,
                                           Z_DEFAULT_COMPRESSION, raw ? 1 : 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                           Z_DEFAULT_STRATEGY, nullptr, 0, entry.unixMode != 0 ? madeOnUnix : 0, 0),
                      ZIP_OK);
            if (!bytes.empty()) {
                ASSERT_EQ(zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())), ZIP_OK);
            }
            if (raw) {
                const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(entry.content.data()), size);
                ASSERT_EQ(zipCloseFileInZipRaw(zip, size, crc), ZIP_OK);
            } else {
                ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
            }
            continue;
        }
        if (entry.wrongCrc) {
            // Raw mode writes the bytes as given and lets the caller state
            // the CRC; the method "stored" keeps them readable.
            ASSERT_EQ(zipOpenNewFileInZip2(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 1),
                      ZIP_OK);
            ASSERT_EQ(zipWriteInFileInZip(zip, entry.content.data(), size), ZIP_OK);
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(entry.content.data()), size);
            ASSERT_EQ(zipCloseFileInZipRaw(zip, size, crc ^ 0xFFu), ZIP_OK);
            continue;
        }
        ASSERT_EQ(zipOpenNewFileInZip(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        if (size > 0) {
            ASSERT_EQ(zipWriteInFileInZip(zip, entry.content.data(), size), ZIP_OK);
        }
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
    if (renumbered.empty()) return;
    std::string bytes = readFile(path);
    const auto field = [&bytes](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    // Local headers hold the method at 8 and the name at 30, central ones
    // at 10 and 46 (name lengths at 26 and 28).
    const struct {
        const char* signature;
        std::size_t method, nameLength, name;
    } headers[] = {{"PK\x03\x04", 8, 26, 30}, {"PK\x01\x02", 10, 28, 46}};
    for (const auto& header : headers) {
        for (std::size_t at = bytes.find(header.signature); at != std::string::npos;
             at = bytes.find(header.signature, at + 4)) {
            if (at + header.name > bytes.size()) break;
            const std::string name = bytes.substr(at + header.name, field(at + header.nameLength));
            for (const auto& [entryName, method] : renumbered) {
                if (name != entryName) continue;
                bytes[at + header.method] = static_cast<char>(method & 0xFF);
                bytes[at + header.method + 1] = static_cast<char>(method >> 8);
            }
        }
    }
    writeFile(path, bytes);
}

std::string deflateRaw(const std::string& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::vector<std::string> listDirectory(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void makeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

}  // namespace example::testing
