// The listing reads rows in table order and sorts them in memory; these cases
// hold it to what SQLite's own ORDER BY over the same columns gives.

#include <algorithm>
#include <set>
#include <utility>

#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

class SQLiteTaskStoreListing : public StoreFixture {
protected:
    // Key and ticks of every listed task, in listing order.
    using Listing = std::vector<std::pair<std::string, std::set<std::string>>>;
    Listing listing(bool includeCompleted) {
        auto tasks = store->listTasks(includeCompleted, currentTimestamp());
        EXPECT_TRUE(tasks) << tasks.error().description();
        Listing listed;
        for (const auto& task : tasks ? *tasks : std::vector<TaskRecord>{}) {
            listed.emplace_back(task.taskKey, task.completedStepIDs);
        }
        return listed;
    }

    std::vector<std::string> listedKeys(bool includeCompleted) {
        std::vector<std::string> keys;
        for (const auto& [key, ticks] : listing(includeCompleted)) keys.push_back(key);
        return keys;
    }

    static Listing sorted(Listing listed) {
        std::sort(listed.begin(), listed.end());
        return listed;
    }

    void setRow(const std::string& itemID, const std::string& priority,
                const std::string& importedAt) {
        exec("UPDATE tasks SET priority = '" + priority + "', imported_at = '" + importedAt +
             "' WHERE item_id = '" + itemID + "';");
    }
};

// Priority text other than the three known ranks goes with "low"; imported_at
// is compared as text, which for text not in the written form can differ from
// the order of the instants; equal keys keep the table's order.
TEST_F(SQLiteTaskStoreListing, OrderIsSQLitesOrderAlsoForOddValues) {
    imported(makeReceipt("r-1", 1,
                         {makeItem("a"), makeItem("b"), makeItem("c"), makeItem("d"), makeItem("e"),
                          makeItem("f"), makeItem("g"), makeItem("h")}));
    setRow("a", "critical", "2026-07-27T09:00:00.000Z");
    setRow("b", "high", "2026-07-27T11:00:00.000Z");
    setRow("c", "high", "2026-07-27T12:00:00+02:00");  // 10:00 UTC, yet after b as text
    setRow("d", "high", "2026-07-27T11:30:00Z");
    setRow("e", "High", "2026-07-28T00:00:00.000Z");
    setRow("f", "low", "2026-07-27T08:00:00.000Z");
    setRow("g", "medium", "2026-07-27T10:00:00.000Z");
    setRow("h", "medium", "2026-07-27T10:00:00.000Z");

    const std::vector<std::string> expected{"r-1::a", "r-1::c", "r-1::d", "r-1::b",
                                            "r-1::g", "r-1::h", "r-1::e", "r-1::f"};
    EXPECT_EQ(listedKeys(true), expected);
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 0);
    EXPECT_EQ(rows("SELECT task_key FROM tasks ORDER BY CASE priority WHEN 'critical' THEN 0 "
                   "WHEN 'high' THEN 1 WHEN 'medium' THEN 2 ELSE 3 END, imported_at DESC, rowid"),
              expected);

    ASSERT_TRUE(store->setStatus("r-1::c", TaskStatus::completed, std::nullopt));
    EXPECT_EQ(listedKeys(false), (std::vector<std::string>{"r-1::a", "r-1::d", "r-1::b", "r-1::g",
                                                           "r-1::h", "r-1::e", "r-1::f"}));
}

// The ticks of all tasks are read in one go; each must land on its own task.
TEST_F(SQLiteTaskStoreListing, EveryTaskCarriesItsOwnTicks) {
    imported(makeReceipt("r-1", 1, {makeItem("a"), makeItem("b"), makeItem("c")}));
    imported(makeReceipt("r-2", 1, {makeItem("a")}));
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", true));
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s2", true));
    ASSERT_TRUE(store->setStepCompleted("r-1::c", "s2", true));
    ASSERT_TRUE(store->setStepCompleted("r-2::a", "s1", true));
    ASSERT_TRUE(store->setStatus("r-1::c", TaskStatus::completed, std::nullopt));

    const Listing all{
        {"r-1::a", {"s1", "s2"}}, {"r-1::b", {}}, {"r-1::c", {"s2"}}, {"r-2::a", {"s1"}}};
    EXPECT_EQ(sorted(listing(true)), all);
    EXPECT_EQ(sorted(listing(false)), (Listing{all[0], all[1], all[3]}));

    // A second listing reads them again rather than keeping what it handed out.
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s1", false));
    EXPECT_EQ(sorted(listing(true)).front(), (Listing::value_type{"r-1::a", {"s2"}}));
}
