#include "CLIProcess.h"

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/ChildProcess.h"

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
    ChildProcess child(VELMORA_CLI_PATH, arguments, childEnvironment(environment));
    if (!child.started()) return {};
    child.send(input);
    CLIRun run;
    run.output = child.finish();
    run.exitStatus = child.wait().value_or(-1);
    run.errors = child.standardError();
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
