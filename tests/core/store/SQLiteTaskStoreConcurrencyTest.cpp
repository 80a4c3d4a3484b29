#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

#include "tools/SharedReceipt.h"
#include "tools/StoreFixture.h"

extern char** environ;

using namespace kestrin;
using namespace kestrin::testing;

namespace {

pid_t spawnWriter(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

}  // namespace

using SQLiteTaskStoreConcurrency = StoreFixture;

// Several processes open one new file at the same moment and import, all at
// once, every version of one receipt (each version with the same bytes
// everywhere, so equal versions collide under the lock) and receipts of their
// own. No process may see a
// busy error or a conflict, the highest version must win with exactly its
// tasks, nothing else may be lost, and the file must stay sound.
TEST_F(SQLiteTaskStoreConcurrency, WritersInSeveralProcessesLoseNothing) {
    constexpr int writers = 6;
    constexpr int ownReceipts = 12;
    constexpr int highestVersion = 8;
    const auto shared = directory / "shared.sqlite";
    const auto start = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch()) +
                       std::chrono::milliseconds(1500);

    std::vector<pid_t> pids;
    for (int writer = 0; writer < writers; ++writer) {
        std::string versions;
        for (int i = 0; i < highestVersion; ++i) {
            // Writers go up in step, so they collide on equal versions; every
            // third one swaps each pair (2,1,4,3 ...), so versions also cross.
            const int version = writer % 3 == 2 ? (i ^ 1) + 1 : i + 1;
            versions += (i ? "," : "") + std::to_string(version);
        }
        pids.push_back(
            spawnWriter({VELMORA_STORE_IMPORT_TOOL, shared.string(), std::to_string(start.count()),
                         "w" + std::to_string(writer), versions, std::to_string(ownReceipts)}));
        ASSERT_GT(pids.back(), 0);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << pid << " failed";
    }

    auto opened = SQLiteTaskStore::open(shared);
    ASSERT_TRUE(opened) << opened.error().description();
    auto& result = **opened;
    auto history = result.receiptHistory(-1);
    ASSERT_TRUE(history);
    EXPECT_EQ(history->size(), 1u + writers * ownReceipts);

    auto tasks = result.listTasks(true, currentTimestamp());
    ASSERT_TRUE(tasks);
    EXPECT_EQ(result.lastSkippedTaskRowCount(), 0);
    std::set<std::string> keys;
    for (const auto& task : *tasks) {
        keys.insert(task.taskKey);
        if (task.receiptID == sharedReceiptID) {
            EXPECT_EQ(task.receiptVersion, highestVersion);
        }
    }
    std::set<std::string> expected{"shared::common", "shared::only-v8"};
    for (int writer = 0; writer < writers; ++writer) {
        for (int i = 0; i < ownReceipts; ++i) {
            const auto id = "w" + std::to_string(writer) + "-r" + std::to_string(i);
            expected.insert(id + "::a");
            expected.insert(id + "::b");
        }
    }
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(tasks->size(), expected.size());

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(shared.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT raw_json, (SELECT group_concat(quick_check) FROM "
                                 "pragma_quick_check) FROM receipts WHERE receipt_id = 'shared'",
                                 -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)),
              rawJSON(sharedReceipt(highestVersion)));
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)), "ok");
    sqlite3_finalize(statement);
    sqlite3_close(db);
}
