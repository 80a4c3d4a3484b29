// A task worked through velmora-cli is stored exactly as one worked through
// the desktop app's model, which calls the store's setStepCompleted for a
// tick, setStatus(ready_to_resume) when the resume message is copied,
// setStatus(completed) for the close button and setStatus(cancelled) for the
// cancel confirmation. Two copies of one database are worked the two ways and
// compared row by row.

#include <sqlite3.h>

#include "CLIFixture.h"
#include "core/handback/ResumeMessageBuilder.h"
#include "core/receipt/Timestamp.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class CLIStoredLikeAppTest : public CLIFixture {
protected:
    // A copy of the CLI's database as it is now, as the app's data directory.
    void copyDatabaseTo(const std::filesystem::path& directory) const {
        std::filesystem::create_directories(directory);
        exec("VACUUM INTO '" + (directory / "tasks.sqlite").string() + "';");
    }
};

TEST_F(CLIStoredLikeAppTest, TicksResumeCloseAndCancelWriteTheSameRowsAsTheAppModel) {
    importFile(testData("intake/deploy-v1.json"));
    const std::filesystem::path appHome = scratch / "app-home";
    copyDatabaseTo(appHome);
    const std::string notes = "已安装";
    const Timestamp start = currentTimestamp();

    // Through the CLI.
    std::string printedMessage;
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"step", sudoTask, "step-1"},
          {"resume", sudoTask, "--notes", notes},
          {"close", sudoTask},
          {"step", approveTask, "step-1"},
          {"step", approveTask, "step-1", "--undo"},
          {"step", approveTask, "step-1"},
          {"cancel", approveTask}}) {
        const CLIRun worked = run(command);
        ASSERT_EQ(worked.exitStatus, 0) << command[0] << ": " << worked.errors;
        if (command[0] == "resume") printedMessage = worked.output;
    }

    // Through the store operations the app's model calls.
    std::string copiedMessage;
    {
        auto opened = SQLiteTaskStore::open(appHome / "tasks.sqlite");
        ASSERT_TRUE(opened) << opened.error().description();
        SQLiteTaskStore& store = **opened;
        ASSERT_TRUE(store.setStepCompleted(sudoTask, "step-1", true));
        auto ticked = store.task(sudoTask);
        ASSERT_TRUE(ticked);
        copiedMessage = ResumeMessageBuilder().build(*ticked, notes);
        ASSERT_TRUE(store.setStatus(sudoTask, TaskStatus::readyToResume, std::nullopt));
        ASSERT_TRUE(store.setStatus(sudoTask, TaskStatus::completed, std::nullopt));
        ASSERT_TRUE(store.setStepCompleted(approveTask, "step-1", true));
        ASSERT_TRUE(store.setStepCompleted(approveTask, "step-1", false));
        ASSERT_TRUE(store.setStepCompleted(approveTask, "step-1", true));
        ASSERT_TRUE(store.setStatus(approveTask, TaskStatus::cancelled, std::nullopt));
    }
    const Timestamp end = currentTimestamp();

    for (const char* query :
         {"SELECT * FROM tasks ORDER BY task_key;", "SELECT * FROM receipts ORDER BY receipt_id;",
          "SELECT task_key, step_id FROM step_progress ORDER BY 1, 2;"}) {
        EXPECT_EQ(rows(query), rows(query, appHome)) << query;
    }
    EXPECT_EQ(rows("SELECT status FROM tasks ORDER BY task_key;"),
              (std::vector<std::string>{"cancelled", "completed"}));
    // Tick times differ only by when they were made.
    for (const auto& directory : {home, appHome}) {
        for (const std::string& completedAt :
             rows("SELECT completed_at FROM step_progress;", directory)) {
            const auto time = parseKestrinISO8601(completedAt);
            ASSERT_TRUE(time) << completedAt;
            EXPECT_GE(*time, start);
            EXPECT_LE(*time, end);
        }
    }

    // And the message the CLI printed is the one the app copies.
    EXPECT_EQ(printedMessage, copiedMessage + "\n");
}

}  // namespace
