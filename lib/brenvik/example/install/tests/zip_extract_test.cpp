#include <gtest/gtest.h>

#include "core/paths.h"
#include "install/zip_extract.h"
#include "install_test_support.h"

namespace example {
namespace {

using ::testing::ElementsAre;
using testing::fileExists;
using testing::InstallTest;
using testing::readFile;
using testing::writeFile;
using testing::writeZip;
using testing::ZipEntry;

using ZipExtract = InstallTest;

TEST_F(ZipExtract, ArchiveWithoutEntriesTouchesNothing) {
    const std::string endRecord("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 22);
    const std::string withComment("PK\x05\x06\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x02\0ok", 24);
    // A bare record (what zip tools write) and one behind a leading stub.
    for (const std::string& content : {endRecord, withComment, "stub" + endRecord}) {
        writeFile(path("empty.zip"), content);
        std::string error = "untouched";
        EXPECT_TRUE(extractZip(path("empty.zip"), path("out"), sink, error)) << error;
        EXPECT_EQ(error, "untouched");
        EXPECT_FALSE(fileExists(path("out")));
        EXPECT_TRUE(sink.lines.empty());
    }
}

TEST_F(ZipExtract, WritesFilesDirectoriesAndBackslashNames) {
    writeFile(path("out/replaced.txt"), "old content that is longer");
    writeZip(path("a.zip"), {{"empty.txt", ""},
                             {"a/b/c.txt", "deep"},
                             {"sub/", ""},
                             {"sub\\x.dll", "dll"},
                             {"replaced.txt", "new"},
                             {"twice.txt", "first"},
                             {"twice.txt", "second"}});
    std::string error;
    ASSERT_TRUE(extractZip(path("a.zip"), path("out"), sink, error)) << error;
    EXPECT_EQ(readFile(path("out/empty.txt")), "");
    EXPECT_EQ(readFile(path("out/a/b/c.txt")), "deep");
    EXPECT_EQ(readFile(path("out/sub/x.dll")), "dll");
    EXPECT_EQ(readFile(path("out/replaced.txt")), "new");
    EXPECT_EQ(readFile(path("out/twice.txt")), "second");
    EXPECT_THAT(sink.lines, ElementsAre("Extracted: empty.txt", "Extracted: a/b/c.txt", "Extracted: sub/x.dll",
                                        "Extracted: replaced.txt", "Extracted: twice.txt", "Extracted: twice.txt"));
}

TEST_F(ZipExtract, UnsafeEntryStopsAfterEarlierEntries) {
    const struct {
        const char* stored;
        const char* shown;
    } cases[] = {
        {"../x", "../x"}, {"a/../../x", "a/../../x"},     {"\\x", "/x"}, {"/x", "/x"},
        {"C:x", "C:x"},   {"ok/..\\..\\x", "ok/../../x"},
    };
    for (const auto& c : cases) {
        sink.lines.clear();
        writeZip(path("bad.zip"), {{"good.txt", "g"}, {c.stored, "evil"}, {"after.txt", "a"}});
        std::string error;
        EXPECT_FALSE(extractZip(path("bad.zip"), path("out"), sink, error));
        EXPECT_EQ(error, std::string("Unsafe zip entry path: ") + c.shown);
        EXPECT_TRUE(fileExists(path("out/good.txt")));
        EXPECT_FALSE(fileExists(path("out/after.txt")));
        EXPECT_FALSE(fileExists(path("x")));
        EXPECT_THAT(sink.lines, ElementsAre("Extracted: good.txt"));
    }
}

TEST_F(ZipExtract, LongEntryNameIsRefusedNotTruncated) {
    const std::string longName = std::string(4090, 'n') + "/x.txt";  // 4,096 bytes
    writeZip(path("long.zip"), {{"first.txt", "1"}, {longName, "x"}});
    std::string error;
    EXPECT_FALSE(extractZip(path("long.zip"), path("out"), sink, error));
    EXPECT_EQ(error, "Failed to read zip entry metadata.");
    EXPECT_TRUE(fileExists(path("out/first.txt")));
    EXPECT_THAT(sink.lines, ElementsAre("Extracted: first.txt"));
}

// An entry whose bytes are not what the directory promises is refused before
// it replaces anything: the file it would replace stays whole and no partial
// file is left beside it.
TEST_F(ZipExtract, BrokenEntriesLeaveTheOldFileWhole) {
    const std::string content(20000, 'x');
    const std::string deflated = testing::deflateRaw(content + "tail");
    ZipEntry bzip2{"bad.bin", content};
    bzip2.rawMethod = 12;  // bzip2, which the reader would hand out raw
    bzip2.rawBytes = "BZh91AY&SY" + std::string(40, '\x01');
    ZipEntry cutShort{"bad.bin", content + "tail"};
    cutShort.rawMethod = 8;
    cutShort.rawBytes = deflated.substr(0, deflated.size() / 2);
    ZipEntry wrongCrc{"bad.bin", "payload", true};
    const struct {
        const char* what;
        ZipEntry entry;
        const char* error;
    } cases[] = {
        {"a method the reader cannot inflate", bzip2, "Failed to open zip entry: bad.bin"},
        {"a deflate stream that ends early", cutShort, "Failed while extracting zip entry: bad.bin"},
        {"a CRC that does not match", wrongCrc, "Failed while extracting zip entry: bad.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sink.lines.clear();
        writeFile(path("out/bad.bin"), "old");
        writeZip(path("bad.zip"), {{"good.txt", "g"}, c.entry, {"after.txt", "a"}});
        std::string error;
        EXPECT_FALSE(extractZip(path("bad.zip"), path("out"), sink, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(readFile(path("out/bad.bin")), "old");
        EXPECT_FALSE(fileExists(path("out/after.txt")));
        EXPECT_THAT(testing::listDirectory(path("out")), ElementsAre("bad.bin", "good.txt"));
        EXPECT_THAT(sink.lines, ElementsAre("Extracted: good.txt"));
    }
}

TEST_F(ZipExtract, FileSystemFailures) {
    writeFile(path("out/blocker"), "a plain file");
    writeFile(path("out/locked.txt"), "keep");
    testing::makeReadOnly(path("out/locked.txt"));
    const std::string out = path("out");
    const struct {
        const char* entry;
        std::string error;
    } cases[] = {
        {"blocker/", "Failed to create zip directory: " + out + kPathSeparator + "blocker/"},
        {"blocker/x.txt", "Failed to create zip entry directory: " + out + kPathSeparator + "blocker"},
        {"locked.txt", "Failed to create extracted file: " + out + kPathSeparator + "locked.txt"},
    };
    for (const auto& c : cases) {
        if (std::string(c.entry) == "locked.txt" && !testing::readOnlyFilesAreEnforced()) continue;
        writeZip(path("fs.zip"), {{c.entry, "data"}});
        std::string error;
        EXPECT_FALSE(extractZip(path("fs.zip"), out, sink, error)) << c.entry;
        EXPECT_EQ(error, c.error);
    }
    if (testing::readOnlyFilesAreEnforced()) {
        EXPECT_EQ(readFile(path("out/locked.txt")), "keep");
    }
}

TEST_F(ZipExtract, UnreadableArchive) {
    writeFile(path("garbage.zip"), "this is not an archive");
    for (const std::string& archive : {path("missing.zip"), path("garbage.zip")}) {
        std::string error;
        EXPECT_FALSE(extractZip(archive, path("out"), sink, error));
        EXPECT_EQ(error, "Failed to open zip file: " + archive);
    }
}

}  // namespace
}  // namespace example
