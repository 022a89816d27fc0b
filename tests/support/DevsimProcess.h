// DevsimProcess.h: runs the real quorlin-devsim for a test. Writes the fleet file, starts the
// simulator on a free discovery port with a request log, waits until it is ready, points the
// SDK at it (ZQ_NETSDK_TARGETS) and stops and reaps it when the test is done.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorlin::test {

// The value of the first member named `key` anywhere in a JSON line: a string unescaped, any
// other value as its raw text. Enough for the simulator's flat log lines.
std::optional<std::string> JsonField(std::string_view line, std::string_view key);

class DevsimProcess {
public:
    // `fleetXml` is written to fleet.xml in a fresh directory; `extraArgs` follow
    // `--fleet F --port 0 --log L`. With `pointSdk`, ZQ_NETSDK_TARGETS names the simulator.
    explicit DevsimProcess(const std::string& fleetXml, std::vector<std::string> extraArgs = {},
                           bool pointSdk = true);
    ~DevsimProcess();
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Error() const { return m_error; }  // why it is not ready
    uint16_t Port() const { return m_port; }
    int Devices() const { return m_devices; }
    pid_t Pid() const { return m_pid; }
    std::string Target() const { return "127.0.0.1:" + std::to_string(m_port); }
    const std::string& Directory() const { return m_directory; }

    // The request log as it stands: every complete line.
    std::vector<std::string> LogLines() const;
    // The log lines whose "event" is `event`.
    std::vector<std::string> Events(std::string_view event) const;
    // Polls the log until `done` holds for its lines or `timeout` passes.
    bool WaitForLog(const std::function<bool(const std::vector<std::string>&)>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

    // Sends `signal` and reaps the process; its exit code, 128 + signal when killed by one,
    // or -1 when it had to be killed after a long wait.
    int Stop(int signal = SIGTERM);

    struct RunResult {
        int exitCode = -1;   // as for Stop
        std::string output;  // stdout and stderr
    };
    // Runs quorlin-devsim with `arguments` to its end (killed after `timeout`).
    static RunResult Run(const std::vector<std::string>& arguments,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Runs another program of BinDir() (quorlin-scan, say), or one named by an absolute path,
    // the same way, in this environment.
    static RunResult RunProgram(const std::string& program,
                                const std::vector<std::string>& arguments,
                                std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Where the programs are: QUORLIN_BIN_DIR, else the directory of this executable.
    static std::string BinDir();

private:
    std::string m_directory;
    std::string m_logPath;
    pid_t m_pid = -1;
    int m_stdout = -1;
    bool m_ready = false;
    std::string m_error;
    uint16_t m_port = 0;
    int m_devices = 0;
};

// A fresh directory under TMPDIR (or /tmp), removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string Write(const std::string& name, const std::string& content) const;

private:
    std::string m_path;
};

}  // namespace quorlin::test
