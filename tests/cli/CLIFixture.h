#pragma once

// Fixture of the velmora-cli tests: a fresh data directory per test (kept
// when the test fails), runs of the real binary on it with a fixed time zone
// and no inherited terminal settings, and a raw SQLite connection to look at
// the rows the binary wrote.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CLIProcess.h"
#include "support/FileText.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {

class CLIFixture : public ::testing::Test {
protected:
    // The binary on `home` with `extra` added to its environment.
    CLIRun run(const std::vector<std::string>& arguments, const std::string& input = {},
               const std::map<std::string, std::string>& extra = {}) const;
    CLIRun runOnTerminal(const std::vector<std::string>& arguments, const std::string& typed = {},
                         int columns = 80,
                         const std::map<std::string, std::string>& extra = {}) const;
    std::map<std::string, std::string> environment(
        const std::map<std::string, std::string>& extra) const;

    // Imports a file through the binary and expects success.
    void importFile(const std::filesystem::path& file) const;
    // A file of tests/data.
    static std::filesystem::path testData(const std::string& relative);
    static void writeFile(const std::filesystem::path& file, const std::string& content);

    // Every row of `sql` on the database of `dataDirectory` (default: home),
    // columns joined by "|", NULL as "<null>".
    std::vector<std::string> rows(const std::string& sql,
                                  const std::filesystem::path& dataDirectory = {}) const;
    void exec(const std::string& sql) const;

    ScratchDirectory scratchDirectory;
    std::filesystem::path scratch = scratchDirectory.path();  // the test's own directory
    std::filesystem::path home = scratch / "home";            // KESTRIN_HOME
};

// The receipt of tests/data/intake/deploy-v1.json: two tasks of project
// "staging", one step each.
inline constexpr const char* sudoTask = "rc-deploy-2026::item-sudo";
inline constexpr const char* approveTask = "rc-deploy-2026::item-approve";

}  // namespace kestrin::testing
