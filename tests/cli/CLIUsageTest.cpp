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
        expectRuns({{{command, "--help"}, 0, "~Usage: velmora-cli " + std::string(command)}});
    }
    expectRuns({{{"--help"}, 0, "~  resume "},
                {{"--version"}, 0, std::string(BuildInfo::productVersion) + "\n"}});

    const std::string root = home.string();
    expectRuns({{{"paths"},
                 0,
                 "当前任务库：隔离测试库\nroot       " + root + "\ninbox      " + root +
                     "/inbox\nprocessed  " + root + "/processed\nrejected   " + root +
                     "/rejected\nbackups    " + root + "/backups\ndatabase   " + root +
                     "/tasks.sqlite\n"}});
    const auto paths = nlohmann::json::parse(run({"paths", "--json"}).output);
    EXPECT_EQ(paths["environment"], "temporary");
    EXPECT_EQ(paths["environment_name"], "隔离测试库");
    EXPECT_EQ(paths["database"], root + "/tasks.sqlite");
    EXPECT_EQ(paths["rejected"], root + "/rejected");
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST_F(CLIUsageTest, BadUsageExitsWithTwoAndTouchesNothing) {
    const std::string more = "~Run with --help for more information.";
    expectRuns({
        {{}, 2, "", "~Usage: velmora-cli [OPTIONS] [SUBCOMMAND]"},
        {{"frobnicate"}, 2, "", "~frobnicate"},
        {{"frobnicate"}, 2, "", more},
        {{"show"}, 2, "", more},
        {{"step", sudoTask}, 2, "", more},
        {{"delete"}, 2, "", more},
        {{"list", "--status", "someday"}, 2, "", more},
        {{"list", "--colour"}, 2, "", more},
        {{"snooze", sudoTask, "2h"}, 2, "", more},
        {{"status", sudoTask, "snoozed"}, 2, "", more},
        {{"history", "--limit", "-1"}, 2, "", more},
    });
    EXPECT_FALSE(std::filesystem::exists(home));
}

TEST_F(CLIUsageTest, AnUnusableDataDirectoryIsReportedAsAStartUpFailure) {
    std::ofstream(home) << "not a directory";
    expectRuns({{{"list"}, 1, "", "^无法启动本地任务库：无法创建目录 " + home.string() + "："}});
}

}  // namespace
