#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin::testing {

// A real kestrin-mcp process (the program at KESTRIN_MCP_PATH) with KESTRIN_HOME set to `home` and
// pipes on its standard streams (or a given descriptor as its standard input). Its output is
// drained while input is sent, so neither side can block the other. The destructor kills a process
// that is still running.
class ServerProcess {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds defaultTimeout{60};

    explicit ServerProcess(const std::filesystem::path& home, int standardInput = -1);
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess();

    // Whether the process could be started.
    bool started() const { return pid_ > 0; }

    // Writes all of `bytes` to its standard input; false when it can take no
    // more (it has gone).
    bool send(std::string_view bytes);
    void closeInput();
    // Closes the reading end of its standard output, as a client that has gone.
    void closeOutput();

    // The next output line (without its line feed), or nothing when the output
    // ends or `timeout` passes first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = defaultTimeout);

    // Closes its input, collects its output to the end and waits for it.
    // Returns the remaining output.
    std::string finish();

    // Waits for the process to end; its exit status, or 128 + the signal that
    // ended it, or nothing when `timeout` passes first.
    std::optional<int> wait(std::chrono::milliseconds timeout = defaultTimeout);

    // Everything it wrote to standard error (after wait()).
    std::string standardError();

    // Its resident memory in KiB, from /proc.
    long residentKiB() const;

    // The processor time (user and system) it has used so far, or in all once
    // it has ended.
    std::chrono::microseconds cpuTime() const;

    pid_t pid() const { return pid_; }

private:
    bool pump(int timeoutMilliseconds);

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
    std::string pending_;
    std::optional<int> status_;
    std::chrono::microseconds finalCPUTime_{0};
};

}  // namespace kestrin::testing
