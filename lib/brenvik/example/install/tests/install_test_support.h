#pragma once
// Fixtures for the extraction and apply tests: a scratch directory (from the
// tree's test support), a sink that records the log lines, and a writer for
// small zip archives.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "read_only_probe.h"
#include "recording_sink.h"
#include "support/temp_dir.h"

namespace example::testing {

struct ZipEntry {
    std::string name;
    std::string content;
    bool wrongCrc = false;  // store a CRC-32 that does not match the data
    // Stored as `rawBytes` under this method number, with the size and CRC
    // of `content` in the directory: a method the reader cannot inflate, or
    // a deflate stream cut short.
    int rawMethod = -1;
    std::string rawBytes;
    // Permission bits recorded as a zip made on a POSIX system records them.
    unsigned unixMode = 0;
};

// Writes a zip archive (deflated, or stored for entries with a wrong CRC).
void writeZip(const std::string& path, const std::vector<ZipEntry>& entries);

// The bare deflate stream of `data`, as a zip entry holds it.
std::string deflateRaw(const std::string& data);

using brenvik::testing::fileExists;
using brenvik::testing::readFile;
using brenvik::testing::writeFile;
// The names in a directory, sorted.
std::vector<std::string> listDirectory(const std::string& path);
void makeReadOnly(const std::string& path);
// False where the platform lets this process write read-only files anyway.
using brenvik::rules::testing::readOnlyFilesAreEnforced;

// A fresh directory per test, removed afterwards, and a sink to hand the
// operations under test.
class InstallTest : public ::testing::Test {
protected:
    // An absolute path below the scratch directory, '/' separated.
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    RecordingSink<> sink;
    brenvik::testing::TempDir scratch_;
    const std::string root_ = scratch_.str();
};

}  // namespace example::testing
