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

void expectMatch(const std::string& actual, const std::string& pattern, const char* stream) {
    if (pattern == "*") return;
    const std::string_view body = std::string_view(pattern).substr(pattern.empty() ? 0 : 1);
    if (pattern.starts_with("^")) {
        EXPECT_TRUE(actual.starts_with(body)) << stream << ": " << actual;
    } else if (pattern.starts_with("~")) {
        EXPECT_NE(actual.find(body), std::string::npos) << stream << ": " << actual;
    } else {
        EXPECT_EQ(actual, pattern) << stream;
    }
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

void CLIFixture::expectRuns(const std::vector<Expected>& runs) const {
    for (const auto& expected : runs) {
        SCOPED_TRACE(::testing::PrintToString(expected.arguments));
        const CLIRun done = run(expected.arguments, expected.input);
        EXPECT_EQ(done.exitStatus, expected.exitStatus) << done.errors;
        expectMatch(done.output, expected.output, "standard output");
        expectMatch(done.errors, expected.errors, "standard error");
    }
}

void CLIFixture::importFiles(const std::vector<std::string>& testDataFiles) const {
    for (const auto& file : testDataFiles) {
        const CLIRun imported = run({"import", testData(file).string()});
        ASSERT_EQ(imported.exitStatus, 0) << imported.errors;
    }
}

}  // namespace kestrin::testing
