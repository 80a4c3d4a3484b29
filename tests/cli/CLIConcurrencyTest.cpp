// Several velmora-cli processes at once on one store: the store's locks and busy timeout let every
// one finish while another program writes, and scans of one inbox (as when the desktop program's
// timer scans too) import, archive and report each file once, a file another scan took being no
// refusal.

#include <atomic>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "CLIFixture.h"
#include "core/receipt/Timestamp.h"
#include "core/store/SQLiteTaskStore.h"

using namespace kestrin;
using namespace kestrin::testing;
using nlohmann::json;

namespace {

using CLIConcurrencyTest = CLIFixture;

TEST_F(CLIConcurrencyTest, CommandsSucceedWhileOtherProgramsWriteTheSameStore) {
    importFiles({deployReceipt});
    const json receipt = json::parse(readFile(testData(deployReceipt)));
    auto opened = SQLiteTaskStore::open(home / "tasks.sqlite");
    ASSERT_TRUE(opened);
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
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE((*opened)->listTasks(true, currentTimestamp()));
        ASSERT_TRUE((*opened)->setStatus(
            approveTask, round % 2 ? TaskStatus::pending : TaskStatus::waitingExternal,
            std::nullopt));
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), Rows{"5"});
    EXPECT_EQ(rows("SELECT count(*) FROM tasks WHERE status = 'completed';"),
              Rows{std::to_string(processes)});
}

TEST_F(CLIConcurrencyTest, ScansAtOnceImportAndReportEachFileOnceWithoutRefusals) {
    constexpr int files = 80;
    json receipt = json::parse(readFile(testData(deployReceipt)));
    std::filesystem::create_directories(home / "inbox");
    for (int i = 0; i < files; ++i) {
        receipt["receipt_id"] = "rc-scan-" + std::to_string(i);
        std::ofstream(home / "inbox" / ("rc-scan-" + std::to_string(i) + ".json"))
            << receipt.dump();
    }
    std::vector<CLIRun> runs(3);
    std::vector<std::thread> threads;
    for (CLIRun& done : runs) threads.emplace_back([&] { done = run({"scan"}); });
    for (auto& thread : threads) thread.join();

    std::map<std::string, int> importsReported;
    for (const CLIRun& done : runs) {
        EXPECT_EQ(done.exitStatus, 0);
        EXPECT_EQ(done.errors, "");
        std::istringstream lines(done.output);
        for (std::string line; std::getline(lines, line);)
            if (const auto mark = line.find("：已导入 "); mark != std::string::npos)
                ++importsReported[line.substr(0, mark)];
    }
    EXPECT_EQ(importsReported.size(), static_cast<size_t>(files));
    for (const auto& [name, count] : importsReported) EXPECT_EQ(count, 1) << name;
    const auto count = [&](const char* directory) {
        const std::filesystem::directory_iterator entries(home / directory);
        return std::distance(begin(entries), end(entries));
    };
    EXPECT_EQ(count("inbox"), 0);
    EXPECT_EQ(count("processed"), files);
    EXPECT_EQ(count("rejected"), 0);  // no refusal, no stray reason file
    EXPECT_EQ(rows("SELECT count(*) FROM receipts;"), Rows{std::to_string(files)});
}

}  // namespace
