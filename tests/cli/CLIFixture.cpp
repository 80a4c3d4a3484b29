#include "CLIFixture.h"

#include <cstdlib>

#include "support/ChildProcess.h"

namespace kestrin::testing {

namespace {

std::vector<std::string> environment(const std::filesystem::path& home,
                                     const std::map<std::string, std::string>& extra,
                                     bool terminal) {
    std::map<std::string, std::string> variables{
        {"KESTRIN_HOME", home.string()}, {"TZ", "UTC"}, {"PATH", "/usr/bin:/bin"}};
    for (const auto& [name, value] : extra) variables[name] = value;
    if (terminal) variables.emplace("TERM", "xterm");
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name)) variables.emplace(name, value);
    std::vector<std::string> entries;
    for (const auto& [name, value] : variables) entries.push_back(name + "=" + value);
    return entries;
}

CLIRun finished(ChildProcess& child, const std::string& input) {
    CLIRun run;
    if (!child.started()) return run;
    child.send(input);
    run.output = child.finish();
    run.exitStatus = child.wait().value_or(-1);
    run.errors = child.standardError();
    return run;
}

}  // namespace

CLIRun CLIFixture::run(const std::vector<std::string>& arguments, const std::string& input,
                       const std::map<std::string, std::string>& extra) const {
    ChildProcess child(VELMORA_CLI_PATH, arguments, environment(home, extra, false));
    return finished(child, input);
}

CLIRun CLIFixture::runOnTerminal(const std::vector<std::string>& arguments,
                                 const std::string& typed, int columns,
                                 const std::map<std::string, std::string>& extra) const {
    ChildProcess child(VELMORA_CLI_PATH, arguments, environment(home, extra, true), -1, columns);
    CLIRun run = finished(child, typed);
    std::erase(run.output, '\r');
    return run;
}

void CLIFixture::importFiles(const std::vector<std::string>& testDataFiles) const {
    for (const auto& file : testDataFiles) {
        const CLIRun imported = run({"import", testData(file).string()});
        ASSERT_EQ(imported.exitStatus, 0) << imported.errors;
    }
}

}  // namespace kestrin::testing
