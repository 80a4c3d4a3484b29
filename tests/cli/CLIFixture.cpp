#include "CLIFixture.h"

#include <fstream>

#include "support/SQLiteRows.h"

namespace kestrin::testing {

std::map<std::string, std::string> CLIFixture::environment(
    const std::map<std::string, std::string>& extra) const {
    std::map<std::string, std::string> result{
        {"KESTRIN_HOME", home.string()}, {"TZ", "UTC"}, {"PATH", "/usr/bin:/bin"}};
    for (const auto& [name, value] : extra) result[name] = value;
    return result;
}

CLIRun CLIFixture::run(const std::vector<std::string>& arguments, const std::string& input,
                       const std::map<std::string, std::string>& extra) const {
    return runCLI(arguments, environment(extra), input);
}

CLIRun CLIFixture::runOnTerminal(const std::vector<std::string>& arguments,
                                 const std::string& typed, int columns,
                                 const std::map<std::string, std::string>& extra) const {
    auto variables = environment(extra);
    variables.emplace("TERM", "xterm");
    return runCLIOnTerminal(arguments, variables, typed, columns);
}

void CLIFixture::importFile(const std::filesystem::path& file) const {
    const CLIRun imported = run({"import", file.string()});
    ASSERT_EQ(imported.exitStatus, 0) << imported.errors;
}

std::filesystem::path CLIFixture::testData(const std::string& relative) {
    return std::filesystem::path(VELMORA_TEST_DATA) / relative;
}

void CLIFixture::writeFile(const std::filesystem::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary) << content;
}

std::vector<std::string> CLIFixture::rows(const std::string& sql,
                                          const std::filesystem::path& dataDirectory) const {
    return sqliteRows((dataDirectory.empty() ? home : dataDirectory) / "tasks.sqlite", sql);
}

void CLIFixture::exec(const std::string& sql) const {
    sqliteExecute(home / "tasks.sqlite", sql);
}

}  // namespace kestrin::testing
