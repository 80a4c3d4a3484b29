// The command line itself: help for every command, bad usage (exit 2), paths, and a data directory
// that cannot be opened (exit 1 with the system's text); none of them creates the data directory.

#include <nlohmann/json.hpp>

#include "CLIFixture.h"
#include "core/intake/BuildInfo.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

using CLIUsageTest = CLIFixture;

TEST_F(CLIUsageTest, HelpVersionAndPathsCreateNothing) {
    for (const char* command : {"list", "count", "show", "history", "paths", "step", "snooze",
                                "status", "resume", "close", "cancel", "delete", "import", "scan",
                                "export", "restore", "backup", "restore-db"}) {
        const CLIRun help = run({command, "--help"});
        EXPECT_EQ(help.exitStatus, 0) << command;
        EXPECT_NE(help.output.find("Usage: velmora-cli " + std::string(command)), std::string::npos)
            << help.output;
        EXPECT_EQ(help.errors, "");
    }
    const CLIRun overview = run({"--help"});
    EXPECT_EQ(overview.exitStatus, 0);
    EXPECT_NE(overview.output.find("  resume "), std::string::npos);
    EXPECT_EQ(run({"--version"}).output, std::string(BuildInfo::productVersion) + "\n");

    const std::string root = home.string();
    const CLIRun shown = run({"paths"});
    EXPECT_EQ(shown.exitStatus, 0);
    EXPECT_EQ(shown.output, "当前任务库：隔离测试库\nroot       " + root + "\ninbox      " + root +
                                "/inbox\nprocessed  " + root + "/processed\nrejected   " + root +
                                "/rejected\nbackups    " + root + "/backups\ndatabase   " + root +
                                "/tasks.sqlite\n");
    const auto paths = nlohmann::json::parse(run({"paths", "--json"}).output);
    EXPECT_EQ(paths["environment"], "temporary");
    EXPECT_EQ(paths["environment_name"], "隔离测试库");
    EXPECT_EQ(paths["database"], root + "/tasks.sqlite");
    EXPECT_EQ(paths["rejected"], root + "/rejected");
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST_F(CLIUsageTest, BadUsageExitsWithTwoAndTouchesNothing) {
    const CLIRun bare = run({});
    EXPECT_EQ(bare.exitStatus, 2);
    EXPECT_EQ(bare.output, "");
    EXPECT_NE(bare.errors.find("Usage: velmora-cli [OPTIONS] [SUBCOMMAND]"), std::string::npos)
        << bare.errors;
    EXPECT_NE(run({"frobnicate"}).errors.find("frobnicate"), std::string::npos);
    const std::vector<std::vector<std::string>> wrong{
        {"frobnicate"},
        {"show"},
        {"step", sudoTask},
        {"list", "--status", "someday"},
        {"snooze", sudoTask, "2h"},
        {"status", sudoTask, "snoozed"},
        {"history", "--limit", "-1"},
        {"delete"},
        {"list", "--colour"},
    };
    for (const auto& arguments : wrong) {
        const CLIRun refused = run(arguments);
        EXPECT_EQ(refused.exitStatus, 2) << arguments[0];
        EXPECT_EQ(refused.output, "");
        EXPECT_NE(refused.errors.find("Run with --help for more information."), std::string::npos)
            << refused.errors;
    }
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST_F(CLIUsageTest, AnUnusableDataDirectoryIsReportedAsAStartUpFailure) {
    std::ofstream(home) << "not a directory";
    const CLIRun listed = run({"list"});
    EXPECT_EQ(listed.exitStatus, 1);
    EXPECT_EQ(listed.output, "");
    EXPECT_EQ(listed.errors.rfind("无法启动本地任务库：无法创建目录 " + home.string() + "：", 0),
              0u)
        << listed.errors;
}

}  // namespace
