#include "LimitedChild.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

#include "ProcessMemory.h"

extern char** environ;

namespace kestrin {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointers(std::vector<std::string>& entries) {
    std::vector<char*> result;
    for (auto& entry : entries) result.push_back(entry.data());
    result.push_back(nullptr);
    return result;
}

bool mentionsMemory(const std::string& errors) {
    for (const char* words : {"bad_alloc", "out of memory", "Cannot allocate memory"}) {
        if (errors.find(words) != std::string::npos) return true;
    }
    return false;
}

// SIGCHLD as a readable descriptor, so one poll() waits for output, for the
// child's stops and for its end; the signal is blocked while this lives.
class ChildSignals {
public:
    ChildSignals() {
        sigset_t childSignal;
        sigemptyset(&childSignal);
        sigaddset(&childSignal, SIGCHLD);
        sigprocmask(SIG_BLOCK, &childSignal, &previous_);
        descriptor_ = signalfd(-1, &childSignal, SFD_CLOEXEC | SFD_NONBLOCK);
        if (descriptor_ < 0) throw std::runtime_error("cannot watch child processes");
    }
    ~ChildSignals() {
        close(descriptor_);
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }
    ChildSignals(const ChildSignals&) = delete;
    ChildSignals& operator=(const ChildSignals&) = delete;

    int descriptor() const { return descriptor_; }
    const sigset_t& previousMask() const { return previous_; }
    void drain() const {
        signalfd_siginfo info;
        while (read(descriptor_, &info, sizeof info) == sizeof info) {
        }
    }

private:
    sigset_t previous_;
    int descriptor_ = -1;
};

}  // namespace

// The child is traced only to stop it at its exit while its memory still
// exists: wait4's peak resident size of a forked child also counts the pages
// it shared with this (much larger) process before exec, so it is no measure
// of the program's own.
LimitedChild::Outcome LimitedChild::run(const std::string& program,
                                        const std::vector<std::string>& arguments,
                                        const std::vector<std::string>& environment,
                                        const Limits& limits) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = environment;
    auto argumentPointers = pointers(argv);
    auto environmentPointers = pointers(envp);

    std::array<int, 2> out{}, err{};
    if (pipe2(out.data(), O_CLOEXEC) != 0 || pipe2(err.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make pipes for " + program);
    }
    const ChildSignals signals;
    const auto started = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot start " + program);
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        sigprocmask(SIG_SETMASK, &signals.previousMask(), nullptr);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        const rlimit addressSpace{static_cast<rlim_t>(limits.addressSpaceBytes),
                                  static_cast<rlim_t>(limits.addressSpaceBytes)};
        setrlimit(RLIMIT_AS, &addressSpace);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execve(program.c_str(), argumentPointers.data(), environmentPointers.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);

    Outcome outcome;
    const auto deadline = started + limits.deadline;
    bool outOfTime = false, ended = false;
    int status = 0;
    rusage usage{};
    std::array<pollfd, 3> watched{pollfd{out[0], POLLIN, 0}, pollfd{err[0], POLLIN, 0},
                                  pollfd{signals.descriptor(), POLLIN, 0}};
    std::array<std::string*, 2> sinks{&outcome.output, &outcome.errors};
    // The first stop is the exec; from then on the child stops at its exit
    // and for each signal it is sent, which it is given on.
    bool execStopSeen = false;
    while (!ended || watched[0].fd >= 0 || watched[1].fd >= 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 && ended) break;  // something it started holds its output
        if (left.count() <= 0 && !outOfTime) {
            outOfTime = true;
            kill(pid, SIGKILL);
        }
        if (poll(watched.data(), watched.size(), outOfTime ? 100 : static_cast<int>(left.count())) <
            0) {
            continue;
        }
        for (std::size_t i = 0; i < sinks.size(); ++i) {
            if (watched[i].fd < 0 || watched[i].revents == 0) continue;
            std::array<char, 65536> buffer;
            const ssize_t count = read(watched[i].fd, buffer.data(), buffer.size());
            if (count > 0) {
                sinks[i]->append(buffer.data(), static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                close(watched[i].fd);
                watched[i].fd = -1;
            }
        }
        signals.drain();
        while (!ended) {
            const pid_t changed = wait4(pid, &status, WNOHANG, &usage);
            if (changed <= 0) break;
            if (WIFEXITED(status) || WIFSIGNALED(status)) {
                ended = true;
                outcome.wallTime = Clock::now() - started;
            } else if (!execStopSeen) {
                execStopSeen = true;
                ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
                ptrace(PTRACE_CONT, pid, nullptr, nullptr);
            } else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
                outcome.peakResidentKiB =
                    static_cast<std::int64_t>(ProcessMemory::peakResidentMB(pid) * 1024);
                ptrace(PTRACE_CONT, pid, nullptr, nullptr);
            } else {
                ptrace(PTRACE_CONT, pid, nullptr, WSTOPSIG(status));
            }
        }
    }

    outcome.processorTime =
        std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    if (WIFEXITED(status)) {
        outcome.ending = "exit status " + std::to_string(WEXITSTATUS(status));
        outcome.succeeded = !outOfTime && WEXITSTATUS(status) == 0;
    } else {
        outcome.ending = "signal " + std::to_string(WTERMSIG(status));
    }
    outcome.overLimit = outOfTime || (!outcome.succeeded && mentionsMemory(outcome.errors));
    if (outOfTime) outcome.ending = "deadline";
    return outcome;
}

std::vector<std::string> LimitedChild::environmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::string> environment = overrides;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable(*entry);
        bool overridden = false;
        for (const auto& override : overrides) {
            const auto name = override.substr(0, override.find('=') + 1);
            overridden = overridden || variable.starts_with(name);
        }
        if (!overridden) environment.emplace_back(variable);
    }
    return environment;
}

}  // namespace kestrin
