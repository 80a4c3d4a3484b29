#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <set>

#include "tools/StoreFixture.h"

extern char** environ;

using namespace kestrin;
using namespace kestrin::testing;

// Processes open one new file at the same moment and import every version of
// one receipt (equal versions have equal bytes, so they collide under the
// lock) and receipts of their own. None may see a busy error or a conflict,
// the highest version wins with exactly its tasks, nothing is lost, and the
// file stays sound.
TEST_F(StoreFixture, WritersInSeveralProcessesLoseNothing) {
    constexpr int writers = 6, ownReceipts = 12, highestVersion = 8;
    const auto shared = directory / "shared.sqlite";
    const auto start = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::system_clock::now().time_since_epoch()) +
                       std::chrono::milliseconds(1500);
    std::vector<pid_t> pids;
    std::set<std::string> expected{"shared::common", "shared::only-v8"};
    for (int writer = 0; writer < writers; ++writer) {
        // Writers go up in step; every third swaps each pair (2,1,4,3 ...) so
        // that versions also cross.
        std::string versions;
        for (int i = 0; i < highestVersion; ++i)
            versions += (i ? "," : "") + std::to_string(writer % 3 == 2 ? (i ^ 1) + 1 : i + 1);
        const std::string name = "w" + std::to_string(writer);
        for (int i = 0; i < ownReceipts; ++i)
            for (const char* item : {"::a", "::b"})
                expected.insert(name + "-r" + std::to_string(i) + item);
        std::vector<std::string> arguments{VELMORA_STORE_IMPORT_TOOL,
                                           shared.string(),
                                           std::to_string(start.count()),
                                           name,
                                           versions,
                                           std::to_string(ownReceipts)};
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << pid << " failed";
    }

    databasePath = shared;  // the fixture's raw connection now reads the shared file
    store = std::move(SQLiteTaskStore::open(shared)).value();
    EXPECT_EQ(store->receiptHistory(-1)->size(), 1u + writers * ownReceipts);
    auto tasks = store->listTasks(true, currentTimestamp());
    ASSERT_TRUE(tasks);
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
    std::set<std::string> keys;
    for (const auto& task : *tasks) {
        keys.insert(task.taskKey);
        EXPECT_TRUE(task.receiptID != "shared" || task.receiptVersion == highestVersion);
    }
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(tasks->size(), expected.size());
    EXPECT_EQ(value("SELECT raw_json FROM receipts WHERE receipt_id = 'shared'"),
              rawJSON(makeReceipt("shared", 8, {makeItem("common"), makeItem("only-v8")})));
    EXPECT_EQ(value("PRAGMA quick_check"), "ok");
}
