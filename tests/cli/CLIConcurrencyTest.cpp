// Several velmora-cli processes and another program's store, all at once on
// one database: the store's locks and busy timeout let every one finish.

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>

#include "CLIFixture.h"
#include "core/receipt/Timestamp.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;

namespace {

class CLIConcurrencyTest : public CLIFixture {};

TEST_F(CLIConcurrencyTest, CommandsSucceedWhileOtherProgramsWriteTheSameStore) {
    importFile(testData("intake/deploy-v1.json"));
    const json receipt = json::parse(readFile(testData("intake/deploy-v1.json")));
    auto opened = SQLiteTaskStore::open(home / "tasks.sqlite");
    ASSERT_TRUE(opened);
    SQLiteTaskStore& other = **opened;

    constexpr int processes = 4;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < processes; ++i) {
        threads.emplace_back([&, i] {
            json copy = receipt;
            copy["receipt_id"] = "rc-parallel-" + std::to_string(i);
            const std::string key = "rc-parallel-" + std::to_string(i) + "::item-sudo";
            for (const CLIRun& done :
                 {run({"import", "-"}, copy.dump()), run({"step", key, "step-1"}),
                  run({"list", "--json"}), run({"resume", key}), run({"close", key})}) {
                if (done.exitStatus != 0) {
                    ++failures;
                    ADD_FAILURE() << done.errors;
                }
            }
        });
    }
    // Meanwhile, another program lists and changes a task over and over.
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(other.listTasks(true, currentTimestamp()));
        ASSERT_TRUE(other.setStatus(approveTask,
                                    round % 2 ? TaskStatus::pending : TaskStatus::waitingExternal,
                                    std::nullopt));
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), (std::vector<std::string>{"5"}));
    EXPECT_EQ(rows("SELECT count(*) FROM tasks WHERE status = 'completed';"),
              (std::vector<std::string>{std::to_string(processes)}));
}

}  // namespace
