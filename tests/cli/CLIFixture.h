#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {

using nlohmann::json;

// What one run of velmora-cli did: standard output (on a terminal everything, CR LF as LF) and
// standard error (empty on a terminal).
struct CLIRun {
    int exitStatus = -1;  // or 128 + the signal that ended it
    std::string output, errors;
};

// One expected run: `output` and `errors` exactly, or with a leading "^" their start, with "~" a
// part of them, or "*" anything.
struct Expected {
    std::vector<std::string> arguments;
    int exitStatus;
    std::string output, errors = "", input = "";
};

inline void expectMatch(const std::string& actual, const std::string& pattern, const char* stream) {
    const std::string_view body = std::string_view(pattern).substr(pattern.empty() ? 0 : 1);
    if (pattern == "*") return;
    const bool found = actual.find(body) != std::string::npos;
    if (pattern.starts_with("^")) EXPECT_TRUE(actual.starts_with(body)) << stream << ": " << actual;
    else if (pattern.starts_with("~")) EXPECT_TRUE(found) << stream << ": " << actual;
    else EXPECT_EQ(actual, pattern) << stream;
}

// The real velmora-cli on a fresh data directory, with a fixed time zone and only the environment
// given (plus the sanitizers' settings); rows and statements straight on its database.
class CLIFixture : public ::testing::Test {
protected:
    // On pipes, or given `columns` on a pseudo-terminal (without echo) that gets `input` typed.
    CLIRun run(const std::vector<std::string>& arguments, const std::string& input = {},
               const std::map<std::string, std::string>& extra = {}, int columns = 0) const {
        std::map<std::string, std::string> variables{
            {"KESTRIN_HOME", home.string()}, {"TZ", "UTC"}, {"PATH", "/usr/bin:/bin"}};
        for (const auto& [name, value] : extra) variables[name] = value;
        if (columns > 0) variables.emplace("TERM", "xterm");
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* value = std::getenv(name)) variables.emplace(name, value);
        std::vector<std::string> environment;
        for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);
        ChildProcess child(VELMORA_CLI_PATH, arguments, environment, -1, columns);
        CLIRun run;
        if (!child.started()) return run;
        child.send(input);
        run.output = child.finish();
        run.exitStatus = child.wait().value_or(-1);
        run.errors = child.standardError();
        if (columns > 0) std::erase(run.output, '\r');
        return run;
    }
    // Each run in turn on the same store.
    void expectRuns(const std::vector<Expected>& runs) const {
        for (const auto& expected : runs) {
            SCOPED_TRACE(::testing::PrintToString(expected.arguments));
            const CLIRun done = run(expected.arguments, expected.input);
            EXPECT_EQ(done.exitStatus, expected.exitStatus) << done.errors;
            expectMatch(done.output, expected.output, "standard output");
            expectMatch(done.errors, expected.errors, "standard error");
        }
    }
    void importFiles(const std::vector<std::string>& testDataFiles) const {
        for (const auto& file : testDataFiles)
            ASSERT_EQ(run({"import", testData(file).string()}).exitStatus, 0) << file;
    }
    static std::filesystem::path testData(const std::string& relative) {
        return std::filesystem::path(VELMORA_TEST_DATA) / relative;
    }
    Rows rows(const std::string& sql) const { return sqliteRows(home / "tasks.sqlite", sql); }
    void exec(const std::string& sql) const { sqliteExecute(home / "tasks.sqlite", sql); }
    std::string statusOf(const std::string& taskKey) const {
        const auto found = rows("SELECT status FROM tasks WHERE task_key = '" + taskKey + "';");
        return found.empty() ? "" : found[0];
    }

    ScratchDirectory scratchDirectory;
    std::filesystem::path scratch = scratchDirectory.path(), home = scratch / "home";
};

// The two tasks of tests/data/intake/deploy-v1.json (project "staging", one step each), and
// tests/data/cli/claude-web.json: "rc-web-7::grant", two steps, project "网站", Claude Code.
inline constexpr const char *sudoTask = "rc-deploy-2026::item-sudo",
                            *approveTask = "rc-deploy-2026::item-approve",
                            *deployReceipt = "intake/deploy-v1.json",
                            *webReceipt = "cli/claude-web.json";
inline const std::string grant = "rc-web-7::grant";

}  // namespace kestrin::testing
