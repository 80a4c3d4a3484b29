#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {

// What one run of the velmora-cli binary did.
struct CLIRun {
    int exitStatus = -1;  // or 128 + the signal that ended it
    std::string output;   // standard output (on a terminal: everything, CR LF as LF)
    std::string errors;   // standard error (empty on a terminal)
};

// One expected run of the binary. `output` and `errors` are the exact text, or with a leading "^"
// its start, with a leading "~" a part of it, or "*" anything.
struct Expected {
    std::vector<std::string> arguments;
    int exitStatus;
    std::string output;
    std::string errors = "";
    std::string input = "";
};

// The real velmora-cli on a fresh data directory, with a fixed time zone and only the environment
// given (plus the sanitizers' settings); rows and statements straight on its database.
class CLIFixture : public ::testing::Test {
protected:
    CLIRun run(const std::vector<std::string>& arguments, const std::string& input = {},
               const std::map<std::string, std::string>& extra = {}) const;
    // On a pseudo-terminal of `columns` columns; `typed` is echoed into the output.
    CLIRun runOnTerminal(const std::vector<std::string>& arguments, const std::string& typed = {},
                         int columns = 80,
                         const std::map<std::string, std::string>& extra = {}) const;
    // Each run in turn on the same store, as expected.
    void expectRuns(const std::vector<Expected>& runs) const;
    void importFiles(const std::vector<std::string>& testDataFiles) const;
    static std::filesystem::path testData(const std::string& relative) {
        return std::filesystem::path(VELMORA_TEST_DATA) / relative;
    }
    Rows rows(const std::string& sql, const std::filesystem::path& dataDirectory = {}) const {
        return sqliteRows((dataDirectory.empty() ? home : dataDirectory) / "tasks.sqlite", sql);
    }
    void exec(const std::string& sql) const { sqliteExecute(home / "tasks.sqlite", sql); }
    std::string statusOf(const std::string& taskKey) const {
        const auto found = rows("SELECT status FROM tasks WHERE task_key = '" + taskKey + "';");
        return found.empty() ? "" : found[0];
    }

    ScratchDirectory scratchDirectory;
    std::filesystem::path scratch = scratchDirectory.path();
    std::filesystem::path home = scratch / "home";  // KESTRIN_HOME
};

// The two tasks of tests/data/intake/deploy-v1.json (project "staging", one step each).
inline constexpr const char* sudoTask = "rc-deploy-2026::item-sudo";
inline constexpr const char* approveTask = "rc-deploy-2026::item-approve";
inline constexpr const char* deployReceipt = "intake/deploy-v1.json";
// tests/data/cli/claude-web.json: "rc-web-7::grant", two steps, project "网站", Claude Code.
inline constexpr const char* webReceipt = "cli/claude-web.json";

}  // namespace kestrin::testing
