#include "CLIProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string_view>

namespace kestrin::testing {

namespace {

// The child's environment: exactly `environment`, plus the sanitizers'
// settings so an instrumented child reports like this process.
std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& environment) {
    std::vector<std::string> entries;
    for (const auto& [name, value] : environment) entries.push_back(name + "=" + value);
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name); value && !environment.contains(name)) {
            entries.push_back(std::string(name) + "=" + value);
        }
    }
    return entries;
}

std::vector<char*> pointers(std::vector<std::string>& entries) {
    std::vector<char*> result;
    for (auto& entry : entries) result.push_back(entry.data());
    result.push_back(nullptr);
    return result;
}

int exitStatusOf(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

CLIRun runCLI(const std::vector<std::string>& arguments,
              const std::map<std::string, std::string>& environment, const std::string& input) {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);

    std::vector<std::string> argumentTexts{VELMORA_CLI_PATH};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts = childEnvironment(environment);
    auto argv = pointers(argumentTexts);
    auto envp = pointers(environmentTexts);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, VELMORA_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(in[1]);
        ::close(out[0]);
        ::close(err[0]);
        return {};
    }

    // Feed the input while draining both outputs, so no side can block.
    CLIRun run;
    std::string_view pending = input;
    int inputDescriptor = in[1];
    if (pending.empty()) {
        ::close(inputDescriptor);
        inputDescriptor = -1;
    }
    int open = 2;
    while (open > 0 || inputDescriptor >= 0) {
        pollfd descriptors[3] = {
            {out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inputDescriptor, POLLOUT, 0}};
        if (::poll(descriptors, 3, 60000) <= 0) break;
        for (int i = 0; i < 2; ++i) {
            if (descriptors[i].fd < 0 || descriptors[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t count = ::read(descriptors[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                (i == 0 ? run.output : run.errors).append(buffer, static_cast<std::size_t>(count));
            } else {
                ::close(descriptors[i].fd);
                (i == 0 ? out[0] : err[0]) = -1;
                --open;
            }
        }
        if (inputDescriptor >= 0 && descriptors[2].revents != 0) {
            const ssize_t written = ::write(inputDescriptor, pending.data(), pending.size());
            if (written > 0) pending.remove_prefix(static_cast<std::size_t>(written));
            if (written < 0 || pending.empty()) {
                ::close(inputDescriptor);
                inputDescriptor = -1;
            }
        }
    }
    if (out[0] >= 0) ::close(out[0]);
    if (err[0] >= 0) ::close(err[0]);
    if (inputDescriptor >= 0) ::close(inputDescriptor);
    run.exitStatus = exitStatusOf(pid);
    return run;
}

CLIRun runCLIOnTerminal(const std::vector<std::string>& arguments,
                        const std::map<std::string, std::string>& environment,
                        const std::string& typed, int columns) {
    std::vector<std::string> argumentTexts{VELMORA_CLI_PATH};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts = childEnvironment(environment);
    auto argv = pointers(argumentTexts);
    auto envp = pointers(environmentTexts);

    winsize size{};
    size.ws_row = 50;
    size.ws_col = static_cast<unsigned short>(columns);
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, &size);
    if (pid < 0) return {};
    if (pid == 0) {
        ::execve(VELMORA_CLI_PATH, argv.data(), envp.data());
        ::_exit(127);
    }
    if (!typed.empty() && ::write(terminal, typed.data(), typed.size()) < 0) {
        ::close(terminal);
        return {};
    }
    CLIRun run;
    char buffer[65536];
    while (true) {
        pollfd descriptor{terminal, POLLIN, 0};
        if (::poll(&descriptor, 1, 60000) <= 0) break;
        const ssize_t count = ::read(terminal, buffer, sizeof buffer);
        if (count <= 0) break;  // EIO once the child has closed the terminal
        for (ssize_t i = 0; i < count; ++i) {
            if (buffer[i] != '\r') run.output += buffer[i];
        }
    }
    ::close(terminal);
    run.exitStatus = exitStatusOf(pid);
    return run;
}

}  // namespace kestrin::testing
