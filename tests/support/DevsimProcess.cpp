#include "DevsimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace quorlin::test {
namespace {

using Clock = std::chrono::steady_clock;

int ExitCodeOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Waits for `pid` until `deadline`; its exit code, or nullopt while it still runs.
std::optional<int> ReapBy(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return ExitCodeOf(status);
        if (done < 0)
            return -1;
        if (Clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int KillAndReap(pid_t pid, int signal) {
    ::kill(pid, signal);
    if (const auto code = ReapBy(pid, Clock::now() + std::chrono::seconds(15)))
        return *code;
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return -1;
}

// Starts a program with stdout on a pipe (returned through `out`) and stderr into
// `errorPath` (or the same pipe when empty). The child gets SIGTERM when the thread that
// started it dies, so that a crashed test never leaves a simulator holding its addresses.
pid_t Spawn(const std::string& name, const std::vector<std::string>& arguments, int& out,
            const std::string& errorPath) {
    const std::string program = name.starts_with("/") ? name : DevsimProcess::BinDir() + "/" + name;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        if (errorPath.empty()) {
            ::dup2(pipeFds[1], STDERR_FILENO);
        } else {
            const int fd = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd >= 0)
                ::dup2(fd, STDERR_FILENO);
        }
        ::execve(program.c_str(), argv.data(), environ);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    out = pipeFds[0];
    return pid;
}

// Reads from `fd` until a whole line is there, the pipe closes or `deadline` passes.
std::optional<std::string> ReadLine(int fd, std::string& pending, Clock::time_point deadline) {
    for (;;) {
        if (const auto end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return std::nullopt;
        pending.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::optional<std::string> JsonField(std::string_view line, std::string_view key) {
    std::string needle;
    needle.reserve(key.size() + 3);
    needle.append(1, '"').append(key).append("\":");
    const auto at = line.find(needle);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t pos = at + needle.size();
    if (pos >= line.size())
        return std::nullopt;
    if (line[pos] != '"') {
        std::size_t end = pos;
        int depth = 0;
        while (end < line.size() && (depth > 0 || (line[end] != ',' && line[end] != '}'))) {
            if (line[end] == '{')
                ++depth;
            if (line[end] == '}')
                --depth;
            ++end;
        }
        return std::string(line.substr(pos, end - pos));
    }
    std::string value;
    for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
        if (line[pos] != '\\' || pos + 1 >= line.size()) {
            value += line[pos];
            continue;
        }
        const char escaped = line[++pos];
        if (escaped == 'n') {
            value += '\n';
        } else if (escaped == 't') {
            value += '\t';
        } else if (escaped == 'u' && pos + 4 < line.size()) {
            value +=
                static_cast<char>(std::stoi(std::string(line.substr(pos + 1, 4)), nullptr, 16));
            pos += 4;
        } else {
            value += escaped;
        }
    }
    return value;
}

std::string DevsimProcess::BinDir() {
    if (const char* dir = std::getenv("QUORLIN_BIN_DIR"); dir && *dir)
        return dir;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorlin-test-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
    const std::string path = m_path + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

DevsimProcess::DevsimProcess(const std::string& fleetXml, std::vector<std::string> extraArgs,
                             bool pointSdk) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorlin-devsim-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        m_error = "cannot make a temporary directory";
        return;
    }
    m_directory = pattern;
    const std::string fleetPath = m_directory + "/fleet.xml";
    std::ofstream(fleetPath, std::ios::binary) << fleetXml;
    m_logPath = m_directory + "/requests.log";
    std::vector<std::string> arguments{"--fleet", fleetPath, "--port", "0", "--log", m_logPath};
    arguments.insert(arguments.end(), extraArgs.begin(), extraArgs.end());

    const std::string errorPath = m_directory + "/stderr.txt";
    m_pid = Spawn("quorlin-devsim", arguments, m_stdout, errorPath);
    if (m_pid < 0) {
        m_error = "cannot start " + BinDir() + "/quorlin-devsim";
        return;
    }
    // Generous: a sanitizer build on a loaded machine starts slowly.
    std::string pending;
    const auto line = ReadLine(m_stdout, pending, Clock::now() + std::chrono::seconds(60));
    unsigned port = 0;
    if (line && std::sscanf(line->c_str(), "quorlin-devsim ready port=%u devices=%d", &port,
                            &m_devices) == 2) {
        m_port = static_cast<uint16_t>(port);
        m_ready = true;
        if (pointSdk)
            ::setenv("ZQ_NETSDK_TARGETS", Target().c_str(), 1);
        return;
    }
    const int code = KillAndReap(m_pid, SIGKILL);
    m_pid = -1;
    m_error = "quorlin-devsim did not get ready (exit " + std::to_string(code) +
              "): " + ReadFile(errorPath);
}

DevsimProcess::~DevsimProcess() {
    Stop(SIGTERM);
    if (m_stdout >= 0)
        ::close(m_stdout);
    std::error_code ignored;
    if (!m_directory.empty())
        std::filesystem::remove_all(m_directory, ignored);
}

int DevsimProcess::Stop(int signal) {
    if (m_pid < 0)
        return -1;
    const int code = KillAndReap(m_pid, signal);
    m_pid = -1;
    return code;
}

std::vector<std::string> DevsimProcess::LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_logPath, std::ios::binary);
    std::string line;
    // Only whole lines: the last one may still be being written.
    while (std::getline(in, line)) {
        if (!in.eof())
            lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> DevsimProcess::Events(std::string_view event) const {
    std::vector<std::string> matching;
    for (auto& line : LogLines()) {
        if (JsonField(line, "event") == event)
            matching.push_back(std::move(line));
    }
    return matching;
}

bool DevsimProcess::WaitForLog(const std::function<bool(const std::vector<std::string>&)>& done,
                               std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (done(LogLines()))
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

DevsimProcess::RunResult DevsimProcess::Run(const std::vector<std::string>& arguments,
                                            std::chrono::milliseconds timeout) {
    return RunProgram("quorlin-devsim", arguments, timeout);
}

DevsimProcess::RunResult DevsimProcess::RunProgram(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   std::chrono::milliseconds timeout) {
    RunResult result;
    int out = -1;
    const pid_t pid = Spawn(program, arguments, out, "");
    if (pid < 0)
        return result;
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{out, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const ssize_t got = ::read(out, buffer, sizeof buffer);
        if (got <= 0)
            break;
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out);
    const auto code = ReapBy(pid, deadline);
    result.exitCode = code ? *code : KillAndReap(pid, SIGKILL);
    return result;
}

}  // namespace quorlin::test
