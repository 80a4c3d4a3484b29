// A database restore reads its source and, on a roll-back, its safety copy,
// without leaving files beside them, and still sees every committed row.

#include <gtest/gtest.h>

#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;

namespace {

// Which of SQLite's companion files lie beside `database`.
std::vector<bool> companions(const fs::path& database) {
    std::vector<bool> present;
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        present.push_back(fs::exists(database.string() + suffix));
    }
    return present;
}

std::vector<std::string> receiptIDs(SQLiteTaskStore& store) {
    const auto receipts = store.archivedReceipts().value();
    std::vector<std::string> ids;
    for (const auto& receipt : receipts) ids.push_back(receipt.receiptId);
    return ids;
}

class StoreRestoreSourceTest : public StoreFixture {};

TEST_F(StoreRestoreSourceTest, SourceAndSafetyCopyAreReadWithoutFilesLeftBesideThem) {
    imported(makeReceipt("r-live", 1, {makeItem("item-1")}));
    const struct Case {
        const char* name;
        const char* source;
        bool keptOpenByItsWriter;  // its latest rows are still in its WAL
        bool failsAfterTheCopy;    // rolled back from the safety copy
    } cases[] = {
        {"a backup made by a store", "backup.sqlite", false, false},
        {"a name SQLite would read as a URI", "a?b#c%d 备份.sqlite", false, false},
        {"a database its program has open", "other-program.sqlite", true, false},
        {"a restore rolled back", "backup.sqlite", false, true},
    };
    int round = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const fs::path folder = directory / ("case-" + std::to_string(++round));
        const fs::path source = folder / "source" / test.source;
        const fs::path safety = folder / "safety" / "safety.sqlite";
        const std::string sourceID = "r-source-" + std::to_string(round);
        fs::create_directories(source.parent_path());
        auto writer =
            SQLiteTaskStore::open(test.keptOpenByItsWriter ? source : folder / "writer.sqlite");
        ASSERT_TRUE(writer);
        const auto receipt = makeReceipt(sourceID, 1, {makeItem("item-1")});
        const auto raw = rawJSON(receipt);
        ASSERT_TRUE((*writer)->importReceipt(receipt, raw, SQLiteTaskStore::hash(raw)));
        if (!test.keptOpenByItsWriter) {
            ASSERT_TRUE((*writer)->backup(source));
        }
        const auto sourceCompanions = companions(source);
        const auto before = receiptIDs(*store);

        store->setRestoreFaultHook(
            [&](SQLiteTaskStore::RestoreStage stage) -> Result<void, StoreError> {
                if (test.failsAfterTheCopy && stage == SQLiteTaskStore::RestoreStage::copied) {
                    return fail(StoreError::sqlite("disk I/O error"));
                }
                return {};
            });
        auto done = store->restoreDatabase(source, safety);

        EXPECT_EQ(bool(done), !test.failsAfterTheCopy);
        EXPECT_EQ(receiptIDs(*store),
                  test.failsAfterTheCopy ? before : std::vector<std::string>{sourceID});
        EXPECT_EQ(companions(source), sourceCompanions);
        EXPECT_EQ(companions(safety), std::vector<bool>(3, false));
        store->setRestoreFaultHook(nullptr);
    }
}

}  // namespace
