#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <httplib.h>

#include "release_fixture.h"

namespace brenvik::server {
namespace {

// Starts the server program on port 0, reads back the port it printed, asks
// it once, and ends it with each stop signal.
TEST(ServerProcess, ReportsItsPortLogsRequestsAndStopsOnSignals) {
    testing::ReleaseFixture release;
    for (int stopSignal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(stopSignal);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl(BRENVIK_UPDATE_SERVER_PATH, BRENVIK_UPDATE_SERVER_PATH, "--port", "0", release.dir().c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE* output = fdopen(out[0], "r");
        char line[256] = {};
        ASSERT_NE(fgets(line, sizeof(line), output), nullptr);
        int port = 0;
        ASSERT_EQ(std::sscanf(line, "listening on 127.0.0.1:%d", &port), 1) << line;

        httplib::Client client("127.0.0.1", port);
        const auto res = client.Post("/api/upgrade", R"({"client_version": "1.0"})", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        ASSERT_NE(fgets(line, sizeof(line), output), nullptr);
        EXPECT_NE(std::string(line).find("\"POST /api/upgrade HTTP/1.1\" 200"), std::string::npos) << line;

        kill(child, stopSignal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        fclose(output);
    }
}

}  // namespace
}  // namespace brenvik::server
