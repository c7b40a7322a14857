#include "install_test_support.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace example::testing {

namespace fs = std::filesystem;

void writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    fs::create_directories(fs::path(path).parent_path());
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr) << path;
    for (const ZipEntry& entry : entries) {
        zip_fileinfo info{};
        const auto size = static_cast<unsigned>(entry.content.size());
        if (entry.wrongCrc) {
            // Raw mode writes the bytes as given and lets the caller state
            // the CRC; the method "stored" keeps them readable.
            ASSERT_EQ(zipOpenNewFileInZip2(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                           nullptr, 0, 0, 1),
                      ZIP_OK);
            ASSERT_EQ(zipWriteInFileInZip(zip, entry.content.data(), size), ZIP_OK);
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(entry.content.data()), size);
            ASSERT_EQ(zipCloseFileInZipRaw(zip, size, crc ^ 0xFFu), ZIP_OK);
            continue;
        }
        ASSERT_EQ(zipOpenNewFileInZip(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                      nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        if (size > 0) {
            ASSERT_EQ(zipWriteInFileInZip(zip, entry.content.data(), size), ZIP_OK);
        }
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

bool fileExists(const std::string& path) { return fs::exists(path); }

void makeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

void InstallTest::SetUp() {
    std::random_device random;
    const fs::path dir = fs::temp_directory_path() /
                         ("example_install_" + std::to_string(random()) + "_" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    root_ = dir.generic_string();
    setMessageSink(&sink);
}

void InstallTest::TearDown() {
    setMessageSink(nullptr);
    std::error_code ignored;
    // Read-only files would block the removal on Windows.
    for (const auto& item : fs::recursive_directory_iterator(root_, ignored)) {
        fs::permissions(item.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ignored);
}

}  // namespace example::testing
