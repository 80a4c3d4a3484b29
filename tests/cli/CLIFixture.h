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

// One run of velmora-cli (on a terminal all output is in `output`, CR LF as LF).
struct CLIRun {
    int exitStatus = -1;  // or 128 + the signal that ended it
    std::string output, errors;
};

// Expected streams: exact, "^" a prefix, "~" a part, "*" anything.
struct Expected {
    std::vector<std::string> arguments;
    int exitStatus;
    std::string output, errors = "", input = "";
};

inline void expectMatch(const std::string& actual, const std::string& pattern, const char* stream) {
    const std::string body = pattern.substr(pattern.empty() ? 0 : 1);
    const bool matches = pattern.starts_with("^")   ? actual.starts_with(body)
                         : pattern.starts_with("~") ? actual.find(body) != std::string::npos
                                                    : pattern == "*" || actual == pattern;
    EXPECT_TRUE(matches) << stream << ": " << actual << "\nexpected: " << pattern;
}

// The real velmora-cli on a fresh home, in UTC, with only the environment given.
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
        return rows("SELECT status FROM tasks WHERE task_key = '" + taskKey + "'").at(0);
    }

    ScratchDirectory scratchDirectory;
    std::filesystem::path scratch = scratchDirectory.path(), home = scratch / "home";
};

// deploy-v1.json: two one-step tasks of "staging"; claude-web.json: grant, two steps, "网站".
inline constexpr const char *sudoTask = "rc-deploy-2026::item-sudo",
                            *approveTask = "rc-deploy-2026::item-approve",
                            *deployReceipt = "intake/deploy-v1.json",
                            *webReceipt = "cli/claude-web.json";
inline const std::string grant = "rc-web-7::grant";

}  // namespace kestrin::testing
