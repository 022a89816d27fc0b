// A program run on the layer ends through its main window's close when it is asked to end.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

// Whether the process catches `signal` (its handler is installed).
bool Catches(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            return (mask >> (signal - 1)) & 1;
        }
    }
    return false;
}

TEST(LayerSignals, EndSignalsCloseTheMainWindow) {
    for (int signal : {SIGTERM, SIGINT}) {
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string program = SIGNAL_PROBE_PATH;
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!Catches(pid, signal) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(Catches(pid, signal)) << signal;
        ::kill(pid, signal);

        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 0) << signal;
        char text[64] = {};
        const ssize_t length = ::read(out[0], text, sizeof text - 1);
        ::close(out[0]);
        EXPECT_GT(length, 0);
        // The dialog's close handler ran and the dialog ended with Cancel.
        EXPECT_STREQ(text, "closed 2\n") << signal;
    }
}

}  // namespace
