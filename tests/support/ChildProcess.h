#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrin::testing {

// A child with exactly `environment` on pipes, or on a pty `terminalColumns` wide; killed at end.
// Output is drained while input is sent, so neither side blocks.
class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds defaultTimeout{60};

    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment, int standardInput = -1,
                 int terminalColumns = 0);
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    bool send(std::string_view bytes);  // false when it can take no more (it has gone)
    void closeInput() { ::close(std::exchange(input_, -1)); }
    void closeOutput() { ::close(std::exchange(output_, -1)); }  // as a client that has gone
    // The next output line without its line feed; nothing at its end or after `timeout`.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout = defaultTimeout);
    std::string finish();  // closes its input, waits for it: the output not read yet
    // Its exit status, or 128 + the signal that ended it; nothing when `timeout` passes first.
    std::optional<int> wait(std::chrono::milliseconds timeout = defaultTimeout);
    std::string standardError();  // all of it, after wait()
    long residentKiB() const;
    std::chrono::microseconds cpuTime() const;  // user and system, so far or in all once ended

private:
    bool pump(int timeoutMilliseconds);

    pid_t pid_ = -1;
    int input_ = -1, output_ = -1, error_ = -1;
    std::string pending_;
    std::optional<int> status_;
    std::chrono::microseconds finalCPUTime_{};
};

}  // namespace kestrin::testing
