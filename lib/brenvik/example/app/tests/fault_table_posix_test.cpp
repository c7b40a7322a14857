// The apply helper, the real executable, against a network, an archive and a
// file system that fail it in every way at hand. For each fault: the exit
// code, the line that says why, every program file either wholly old or
// wholly new, and nothing written outside the program and download
// directories.

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/app_options.h"
#include "install_test_support.h"
#include "support/run_program.h"
#include "support/test_http_server.h"

extern char** environ;

namespace example {
namespace {

namespace fs = std::filesystem;
using brenvik::testing::Reply;
using brenvik::testing::TestHttpServer;

constexpr int kFailed = 2;

// The release: a program (a script, so that the restart can run it), a data
// file and an archive with a library in it.
const std::string kOldProgram = "#!/bin/sh\necho old\n";
const std::string kNewProgram = "#!/bin/sh\nexit 0\n";
const std::string kOldData(70000, 'o');
const std::string kNewData(90000, 'n');
const std::string kOldLibrary = "old library";
const std::string kNewLibrary(50000, 'l');

struct HelperRun {
    int exitCode = -1;
    std::string lastLine;  // of standard error
};

// Every file below `root` except those in the two directories (and the
// test's own archives), with its size and a hash of its contents: what the
// run must leave as it was.
std::map<std::string, std::string> filesOutside(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        if (it->is_directory() && !it->is_symlink() && (name == "program" || name == "downloads" || name == "zips")) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() && !it->is_symlink()) {
            const std::string content = testing::readFile(it->path().string());
            files[fs::relative(it->path(), root).string()] =
                std::to_string(content.size()) + " bytes, hash " + std::to_string(std::hash<std::string>{}(content));
        }
    }
    return files;
}

class FaultTable : public testing::InstallTest {
protected:
    void SetUp() override {
        helper_ = path("helper/") + kHelperExeName;
        fs::create_directories(path("helper"));
        fs::copy_file(EXAMPLE_PROGRAM, helper_);
        SetUpRelease();
    }

    // The program as installed, an empty download directory, and the
    // release as the server offers it.
    void SetUpRelease() {
        fs::remove_all(path("program"));
        fs::remove_all(path("downloads"));
        testing::writeFile(path("program/Halvora.exe"), kOldProgram);
        fs::permissions(path("program/Halvora.exe"), fs::perms(0755));
        testing::writeFile(path("program/data.bin"), kOldData);
        testing::writeFile(path("program/lib/x.so"), kOldLibrary);
        fs::create_directories(path("downloads"));
        testing::writeZip(path("zips/libs.zip"), {{"lib/x.so", kNewLibrary}});
        serve("/f/Halvora.exe", Reply{200, kNewProgram});
        serve("/f/data.bin", Reply{200, kNewData});
        serve("/f/libs.zip", Reply{200, testing::readFile(path("zips/libs.zip"))});
        check({"Halvora.exe", "data.bin", "libs.zip"});
    }

    void serve(const std::string& at, const Reply& reply) { server_.reply(at, reply); }

    // The check's answer: an update with these files, each at /f/<name>
    // unless `urls` says otherwise.
    void check(const std::vector<std::string>& files, const std::map<std::string, std::string>& urls = {},
               int stallMs = 0) {
        std::string list;
        for (const std::string& name : files) {
            const auto url = urls.find(name);
            list += std::string(list.empty() ? "" : ",") + R"({"file_name": ")" + name + R"(", "download_url": ")" +
                    (url != urls.end() ? url->second : server_.url("/f/" + name)) + R"("})";
        }
        Reply reply{200, R"({"has_update": true, "latest_version": "2.0", "update_files": [)" + list + "]}",
                    "application/json"};
        reply.stallMs = stallMs;
        server_.reply("/check", reply);
    }

    // The helper as the normal run starts it; `wrap` goes in front (to run it
    // in a namespace of its own); `killAfter` ends it that soon.
    HelperRun runHelper(const std::vector<std::string>& wrap = {}, std::chrono::milliseconds killAfter = {}) {
        std::vector<std::string> args = wrap;
        args.insert(args.end(), {helper_, path("program"), path("downloads"), path("program/Halvora.exe"), "1.0",
                                 server_.url("/check")});
        const testing::RunResult result =
            testing::runProgram(args.front(), std::vector<std::string>(args.begin() + 1, args.end()), "", killAfter);
        HelperRun run;
        if (result.exitCode < 0) ADD_FAILURE() << "cannot start " << args.front();
        run.exitCode = result.exitCode;
        std::string text = result.standardError;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        run.lastLine = text.substr(text.find_last_of('\n') + 1);
        return run;
    }

    // Each program file is wholly old or wholly new; `updated` says which.
    void expectProgram(bool updated) {
        const struct {
            const char* name;
            const std::string& before;
            const std::string& after;
        } files[] = {{"Halvora.exe", oldProgram_, kNewProgram},
                     {"data.bin", kOldData, kNewData},
                     {"lib/x.so", kOldLibrary, kNewLibrary}};
        for (const auto& file : files) {
            SCOPED_TRACE(file.name);
            EXPECT_EQ(testing::readFile(path(std::string("program/") + file.name)), updated ? file.after : file.before);
        }
        // Nothing half-written is left beside them.
        EXPECT_EQ(testing::listDirectory(path("program")),
                  (std::vector<std::string>{"Halvora.exe", "data.bin", "lib"}));
        EXPECT_EQ(testing::listDirectory(path("program/lib")), std::vector<std::string>{"x.so"});
    }

    // The installed program started as a running process (ended by
    // endProgram), so that replacing it finds it in use.
    void startProgram() {
        oldProgram_ = testing::readFile("/bin/sleep");
        testing::writeFile(path("program/Halvora.exe"), oldProgram_);
        fs::permissions(path("program/Halvora.exe"), fs::perms(0755));
        std::string program = path("program/Halvora.exe"), seconds = "60";
        char* argv[] = {&program[0], &seconds[0], nullptr};
        ASSERT_EQ(posix_spawn(&running_, argv[0], nullptr, nullptr, argv, environ), 0);
        // The file counts as in use once the kernel has mapped it.
        for (int i = 0; i < 200; ++i) {
            const std::string exe = fs::read_symlink("/proc/" + std::to_string(running_) + "/exe").string();
            if (exe == fs::path(program).lexically_normal().string()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void endProgram() {
        if (running_ > 0) {
            kill(running_, SIGKILL);
            waitpid(running_, nullptr, 0);
        }
        running_ = -1;
        oldProgram_ = kOldProgram;
    }

    TestHttpServer server_;
    std::string helper_;
    std::string oldProgram_ = kOldProgram;
    pid_t running_ = -1;
};

// Namespaces of its own let the helper meet a full disk and a read-only
// program directory whoever runs the tests, root included.
std::vector<std::string> inNamespace(const std::string& mounts) {
    return {"unshare", "-Urm", "sh", "-c", mounts + " && exec \"$@\"", "sh"};
}

bool namespacesWork() {
    return std::system("unshare -Urm sh -c 'mount -t tmpfs tmpfs /mnt' >/dev/null 2>&1") == 0;
}

TEST_F(FaultTable, EachFaultFailsTheRunAndLeavesEveryFileWholeAndTheRestUntouched) {
    const std::string outside = path("outside.txt");
    testing::writeFile(outside, "outside");
    const bool namespaces = namespacesWork();
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> wrap;
        int exitCode;
        std::string lastLine;  // its start
        bool needsNamespaces = false;
    };
    const std::vector<Case> cases = {
        {"the server dies in the middle of a file",
         [&] {
             Reply dropped{200, kNewData};
             dropped.framing = Reply::Framing::DropMidBody;
             serve("/f/data.bin", dropped);
         },
         {},
         kFailed,
         "Download failed after 1 file(s): Download failed: Transferred a partial file"},
        {"the check stalls past its limit",
         [&] { check({"Halvora.exe"}, {}, 12000); },
         {},
         kFailed,
         "Update check failed: "},
        {"a file URL",
         [&] {
             check({"Halvora.exe", "data.bin"}, {{"data.bin", "file://" + outside}});
         },
         {},
         kFailed,
         "Download failed after 1 file(s): Download failed: Unsupported protocol"},
        {"an entry in a method the reader cannot inflate",
         [&] {
             testing::ZipEntry entry{"lib/x.so", kNewLibrary};
             entry.rawMethod = 12;
             entry.rawBytes = "BZh91AY&SY" + std::string(100, '\x02');
             testing::writeZip(path("zips/libs.zip"), {entry});
             serve("/f/libs.zip", Reply{200, testing::readFile(path("zips/libs.zip"))});
             check({"libs.zip", "Halvora.exe", "data.bin"});
         },
         {},
         kFailed,
         "Downloaded 3 file(s), but apply failed: Failed to open zip entry: lib/x.so"},
        {"a corrupt entry",
         [&] {
             testing::writeZip(path("zips/libs.zip"), {{"lib/x.so", kNewLibrary, true}});
             serve("/f/libs.zip", Reply{200, testing::readFile(path("zips/libs.zip"))});
             check({"libs.zip", "Halvora.exe", "data.bin"});
         },
         {},
         kFailed,
         "Downloaded 3 file(s), but apply failed: Failed while extracting zip entry: lib/x.so"},
        {"a read-only program file",
         [&] {
             testing::makeReadOnly(path("program/Halvora.exe"));
             check({"Halvora.exe", "data.bin", "libs.zip"});
         },
         {},
         kFailed,
         "Downloaded 3 file(s), but apply failed: Failed to copy "},
        {"a program file in use",
         [&] { startProgram(); },
         {},
         kFailed,
         "Downloaded 3 file(s), but apply failed: Failed to copy " + path("downloads") + "/Halvora.exe to " +
             path("program") + "/Halvora.exe: Text file busy"},
        {"a full disk under the downloads", [] {},
         inNamespace("mount -t tmpfs -o size=64k tmpfs '" + path("downloads") + "'"), kFailed,
         "Download failed after 1 file(s): Download failed: Failed writing received data to disk/application", true},
        {"a read-only program directory", [] {},
         inNamespace("mount --bind '" + path("program") + "' '" + path("program") + "' && mount -o remount,ro,bind '" +
                     path("program") + "'"),
         kFailed, "Downloaded 3 file(s), but apply failed: ", true},
        // A mount point cannot be unlinked, even by root: the second name
        // stays, and writing through it would empty the file outside.
        {"a download target that is a second name of a file outside and cannot be removed", [] {},
         inNamespace("ln '" + outside + "' '" + path("downloads/data.bin") + "' && mount --bind '" + outside + "' '" +
                     path("downloads/data.bin") + "'"),
         kFailed, "Download failed after 1 file(s): Failed to open file for writing: ", true},
    };
    const auto before = filesOutside(root_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsNamespaces && !namespaces) {
            std::printf("(skipped, no user namespaces here: %s)\n", c.what);
            continue;
        }
        c.arrange();
        const HelperRun run = runHelper(c.wrap);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.lastLine.rfind(c.lastLine, 0), 0u) << run.lastLine;
        expectProgram(false);
        endProgram();
        EXPECT_EQ(filesOutside(root_), before);
        // The next case starts from the release as it was.
        fs::permissions(path("program/Halvora.exe"), fs::perms(0755));
        SetUpRelease();
        ASSERT_EQ(filesOutside(root_), before);
    }
}

// Links planted in both directories are replaced, and the run succeeds
// without writing where they lead; a run killed in the middle of the
// downloads leaves the program as it was and the next run completes it.
TEST_F(FaultTable, LinksAndAKilledRunEndInTheNewRelease) {
    const std::string outside = path("outside.txt");
    testing::writeFile(outside, "outside");
    const auto before = filesOutside(root_);

    Reply slow{200, kNewData};
    slow.stallMs = 3000;
    serve("/f/data.bin", slow);
    const HelperRun killed = runHelper({}, std::chrono::milliseconds(1500));
    EXPECT_EQ(killed.exitCode, 128 + SIGKILL);
    expectProgram(false);

    serve("/f/data.bin", Reply{200, kNewData});
    fs::remove(path("downloads/Halvora.exe"));
    fs::create_symlink(outside, path("downloads/Halvora.exe"));
    fs::remove(path("program/data.bin"));
    fs::create_symlink(outside, path("program/data.bin"));
    const HelperRun run = runHelper();
    EXPECT_EQ(run.exitCode, 0) << run.lastLine;
    expectProgram(true);
    EXPECT_FALSE(fs::is_symlink(path("program/data.bin")));
    EXPECT_EQ(filesOutside(root_), before);
}

}  // namespace
}  // namespace example
