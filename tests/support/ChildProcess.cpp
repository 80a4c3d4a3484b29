#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <utility>

namespace kestrin::testing {
namespace {

void closeDescriptor(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
}

std::vector<char*> pointers(const std::vector<std::string>& entries) {
    std::vector<char*> result;
    for (const auto& entry : entries) result.push_back(const_cast<char*>(entry.c_str()));
    result.push_back(nullptr);
    return result;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment, int standardInput,
                           int terminalColumns) {
    std::signal(SIGPIPE, SIG_IGN);  // writing to a child that has gone must fail, not kill us
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    int inputPipe[2] = {-1, -1}, outputPipe[2] = {-1, -1}, errorPipe[2] = {-1, -1};
    if (terminalColumns > 0) {
        // Opened by the leader of a new session, the terminal becomes its controlling one.
        output_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        winsize size{50, static_cast<unsigned short>(terminalColumns), 0, 0};
        termios modes{};
        if (output_ < 0 || ::grantpt(output_) != 0 || ::unlockpt(output_) != 0 ||
            ::ioctl(output_, TIOCSWINSZ, &size) != 0 || ::tcgetattr(output_, &modes) != 0)
            return;
        modes.c_lflag &= ~static_cast<tcflag_t>(ECHO);  // echoed input would land anywhere
        ::tcsetattr(output_, TCSANOW, &modes);
        posix_spawn_file_actions_addopen(&actions, 0, ::ptsname(output_), O_RDWR, 0);
        posix_spawn_file_actions_adddup2(&actions, 0, 1);
        posix_spawn_file_actions_adddup2(&actions, 0, 2);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
        input_ = ::fcntl(output_, F_DUPFD_CLOEXEC, 0);
    } else {
        if ((standardInput < 0 && ::pipe2(inputPipe, O_CLOEXEC) != 0) ||
            ::pipe2(outputPipe, O_CLOEXEC) != 0 || ::pipe2(errorPipe, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_adddup2(&actions, standardInput < 0 ? inputPipe[0] : standardInput,
                                         0);
        posix_spawn_file_actions_adddup2(&actions, outputPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errorPipe[1], 2);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    }
    std::vector<std::string> argumentTexts{program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    if (posix_spawn(&pid_, program.c_str(), &actions, &attributes, pointers(argumentTexts).data(),
                    pointers(environment).data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (terminalColumns > 0) return;
    closeDescriptor(inputPipe[0]);
    closeDescriptor(outputPipe[1]);
    closeDescriptor(errorPipe[1]);
    input_ = inputPipe[1];
    output_ = outputPipe[0];
    error_ = errorPipe[0];
    if (input_ >= 0) ::fcntl(input_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    closeDescriptor(input_);
    closeDescriptor(output_);
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closeDescriptor(error_);
}

// False once the output has ended (a terminal's reads fail once the child has closed it).
bool ChildProcess::pump(int timeoutMilliseconds) {
    if (output_ < 0) return false;
    pollfd descriptor{output_, POLLIN, 0};
    if (::poll(&descriptor, 1, timeoutMilliseconds) <= 0) return true;
    char buffer[65536];
    const ssize_t count = ::read(output_, buffer, sizeof buffer);
    if (count <= 0) {
        closeDescriptor(output_);
        return false;
    }
    pending_.append(buffer, static_cast<std::size_t>(count));
    return true;
}

bool ChildProcess::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(input_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd descriptors[2] = {{input_, POLLOUT, 0}, {output_, POLLIN, 0}};
        ::poll(descriptors, output_ >= 0 ? 2 : 1, 1000);
        if (output_ >= 0 && descriptors[1].revents != 0) pump(0);
    }
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !pump(static_cast<int>(left.count()))) return std::nullopt;
    }
}

std::string ChildProcess::finish() {
    closeInput();
    const auto deadline = Clock::now() + defaultTimeout;
    while (Clock::now() < deadline && pump(1000)) {
    }
    wait();
    return std::exchange(pending_, {});
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) return status_;
    for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        int status = 0;
        rusage usage{};
        if (::wait4(pid_, &status, WNOHANG, &usage) != pid_) continue;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        finalCPUTime_ = std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
        break;
    }
    return status_;
}

std::string ChildProcess::standardError() {
    std::string text;
    char buffer[4096];
    for (ssize_t count; error_ >= 0 && (count = ::read(error_, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(count));
    return text;
}

long ChildProcess::residentKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    long kib = -1;
    for (std::string key; status >> key; status.ignore(4096, '\n'))
        if (key == "VmRSS:" && status >> kib) break;
    return kib;
}

std::chrono::microseconds ChildProcess::cpuTime() const {
    if (status_) return finalCPUTime_;
    // Fields 14 and 15 of /proc/<pid>/stat, after the parenthesised name.
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index)
        if (index >= 14) ticks += std::stol(field);
    return std::chrono::microseconds(ticks * 1000000 / ::sysconf(_SC_CLK_TCK));
}

}  // namespace kestrin::testing
