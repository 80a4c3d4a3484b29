// Feeds arbitrary bytes to the command risk policy as a step's command and
// checks the shape of what the shell reading and the policy give back. Crashes,
// hangs and sanitizer reports are what the fuzzer itself looks for.
//
// Input: the command, then optionally a NUL byte and the working directory.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "core/checks/CommandRiskPolicy.h"
#include "core/checks/ShellCommandReader.h"

using namespace kestrin;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view command = input.substr(0, split);
    const std::string_view directory =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const std::vector<ShellCommand> commands = ShellCommandReader().read(command);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        require(commands[i].words.size() == commands[i].globs.size());
        // A substituted command ends before the command that holds it.
        for (const std::size_t inner : commands[i].substituted) require(inner < i);
    }

    const std::vector<CommandRisk> risks =
        CommandRiskPolicy().assess(command, "/home/dev/shop", directory);
    // Each risk once, in declared order, and never both forms of deletion.
    for (std::size_t i = 1; i < risks.size(); ++i) require(risks[i - 1] < risks[i]);
    const std::set<CommandRisk> seen(risks.begin(), risks.end());
    require(!(seen.contains(CommandRisk::deletesRecursively) &&
              seen.contains(CommandRisk::deletesOutsideProject)));
    return 0;
}
