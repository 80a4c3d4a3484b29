#include "cli/ConsoleFacts.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <string>

namespace kestrin {

namespace {

std::string variable(const AppPaths::Environment& environment, const char* name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::string() : found->second;
}

std::optional<int> columnsVariable(const AppPaths::Environment& environment) {
    const std::string text = variable(environment, "COLUMNS");
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

ConsoleFacts ConsoleFacts::detect(const AppPaths::Environment& environment) {
    ConsoleFacts facts;
    facts.outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    facts.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
    facts.width = columnsVariable(environment);
    if (!facts.width && facts.outputIsTerminal) {
        winsize size{};
        if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
            facts.width = size.ws_col;
        }
    }
    facts.colour = facts.outputIsTerminal && variable(environment, "NO_COLOR").empty() &&
                   variable(environment, "TERM") != "dumb";
    return facts;
}

}  // namespace kestrin
