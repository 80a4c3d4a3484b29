#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

// A selection's count, taken in SQL, agrees with its listing: the same rows,
// the same unreadable rows skipped and counted, due snoozed tasks woken first.
// Its pages, read through the listing indexes, join up to the same listing.
TEST_F(StoreFixture, ACountAgreesWithTheListingOfTheSameSelection) {
    std::vector<InterventionItem> alpha, beta;
    // Rows in the reverse of key order: ties in a listing follow the rows.
    for (const char* id : {"h", "g", "f", "e", "d", "c", "b", "a"}) alpha.push_back(makeItem(id));
    alpha[3].priority = TaskPriority::critical;  // e
    alpha[1].priority = TaskPriority::low;       // g
    for (const char* id : {"p", "q", "r", "s"}) beta.push_back(makeItem(id));
    auto second = makeReceipt("r-2", 1, beta);
    second.project.name = "beta";
    imported(makeReceipt("r-1", 1, alpha));
    imported(second);
    for (const auto& [item, change] : std::vector<std::pair<std::string, std::string>>{
             {"b", "status = 'in_progress'"},
             {"c", "status = 'completed'"},
             {"d", "status = 'cancelled'"},
             {"e", "status = 'waiting_external'"},
             {"f", "status = 'snoozed', snoozed_until = '2026-01-01T00:00:00.000Z'"},
             {"g", "status = 'archived'"},  // unknown, and inside the open ranges
             {"h", "agent = 'copilot'"},
             {"q", "status = 'completed'"},
             {"r", "item_json = '{'"},
             {"s", "status = 'completed', item_json = replace(item_json, "
                   "'\"payload_version\":1', '\"payload_version\":2')"}}) {
        exec("UPDATE tasks SET " + change + " WHERE item_id = '" + item + "';");
    }
    struct Case {
        const char* name;
        TaskSelection selection;
        std::int64_t count, skipped;
    };
    const Case cases[] = {
        {"open", {}, 5, 3},
        {"all", {true, std::nullopt, std::nullopt}, 8, 4},
        {"completed", {false, TaskStatus::completed, std::nullopt}, 2, 1},
        {"pending, with the woken one", {false, TaskStatus::pending, std::nullopt}, 3, 2},
        {"snoozed: woken before counting", {false, TaskStatus::snoozed, std::nullopt}, 0, 0},
        {"open of one project", {false, std::nullopt, "beta"}, 1, 1},
        {"all of one project", {true, std::nullopt, "velmora"}, 6, 2},
    };
    const Timestamp now = *parseKestrinISO8601("2026-07-27T08:30:00Z");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto counted = store->countTasks(c.selection, now);
        ASSERT_TRUE(counted);
        EXPECT_EQ(*counted, c.count);
        EXPECT_EQ(store->lastSkippedTaskRowCount(), c.skipped);
        auto listed = store->listTasks(c.selection, now);
        ASSERT_TRUE(listed);
        EXPECT_EQ(static_cast<std::int64_t>(listed->size()), c.count);
        EXPECT_EQ(store->lastSkippedTaskRowCount(), c.skipped);
        // Summaries, read without decoding, say what the listing's records say.
        auto summaries = store->listTaskSummaries(c.selection, now);
        ASSERT_TRUE(summaries);
        EXPECT_EQ(store->lastSkippedTaskRowCount(), c.skipped);
        std::vector<TaskSummary> expectedSummaries;
        for (const TaskRecord& t : *listed) {
            expectedSummaries.push_back({t.taskKey, t.status, t.project.name, t.source.agent,
                                         t.source.taskTitle, t.item.title, t.item.reason,
                                         t.item.category, t.importedAt, t.snoozedUntil,
                                         t.totalStepCount(), t.completedStepCount()});
        }
        EXPECT_EQ(*summaries, expectedSummaries);

        // A filter sees each task's own search fields; one that drops a title drops that task.
        const auto joined = [](const TaskSearchFields& f) {
            std::string all;
            for (std::string_view text : {f.title, f.reason, f.projectName, f.sourceTaskTitle,
                                          displayName(f.agent), displayName(f.category)}) {
                all += std::string(text) + "|";
            }
            return all;
        };
        std::set<std::string> seen;
        std::map<std::int64_t, std::string> titles;
        const TaskSearchFilter filter{[&](const TaskSearchFields& f) {
            seen.insert(joined(f));
            titles[f.rowID] = f.title;
            return f.title != "处理 c";
        }, {}};
        // What a filter knows of a row by its id is taken over what its fields would say.
        const TaskSearchFilter knowing{filter.matches, [&](std::int64_t rowID) {
            auto known = titles.find(rowID);
            return known == titles.end() ? std::nullopt
                                         : std::optional<bool>(known->second != "处理 a");
        }};
        for (const auto& [used, left] : {std::pair{TaskSearchFilter(), ""},
                                         std::pair{filter, "处理 c"}, std::pair{knowing, "处理 a"}}) {
            std::vector<TaskRecord> paged;
            for (TaskPage page; !page.isLast;) {
                auto read = store->listTaskPage(c.selection, page.next, 2, used);
                ASSERT_TRUE(read) << read.error().description();
                page = std::move(read).value();
                paged.insert(paged.end(), page.tasks.begin(), page.tasks.end());
            }
            auto expected = *listed;
            std::erase_if(expected, [&](auto& t) { return t.item.title == left; });
            EXPECT_EQ(paged, expected);
        }
        for (const TaskRecord& t : *listed) {
            EXPECT_TRUE(seen.contains(joined({0, t.item.title, t.item.reason, t.project.name,
                                              t.source.taskTitle, t.source.agent,
                                              t.item.category})));
        }
    }

    // The open rows' states, unreadable ones too, come in listing order with their ticks;
    // reading their keys back gives the open listing.
    ASSERT_TRUE(store->setStepCompleted("r-1::a", "s2", true));
    const auto listed = store->listTasks(TaskSelection{}, now).value();
    const auto states = store->openTaskStates(now).value();
    std::vector<std::string> keys;
    for (const TaskRowState& state : states) keys.push_back(state.taskKey);
    EXPECT_EQ(keys.size(), 8u);  // 5 listed, 3 skipped
    std::erase_if(keys, [](auto& key) { return key.ends_with("g") || key.ends_with("h") ||
                                               key.ends_with("r"); });
    std::vector<std::string> listedKeys;
    for (const TaskRecord& task : listed) listedKeys.push_back(task.taskKey);
    EXPECT_EQ(keys, listedKeys);
    const auto a = std::ranges::find(states, "r-1::a", &TaskRowState::taskKey);
    ASSERT_NE(a, states.end());
    EXPECT_EQ(a->completedStepIDs, std::set<std::string>{"s2"});
    EXPECT_EQ(a->status, "in_progress");
    keys.push_back("r-1::h");  // unreadable: left out
    auto read = store->tasks(keys).value();
    auto expected = listed;
    std::ranges::sort(read, {}, &TaskRecord::taskKey);
    std::ranges::sort(expected, {}, &TaskRecord::taskKey);
    EXPECT_EQ(read, expected);
}

// What summaries need and only a decoder would check: such rows are skipped and counted.
TEST_F(StoreFixture, SummariesSkipRowsWithoutWhatTheyShow) {
    std::vector<InterventionItem> items;
    for (const char* id : {"a", "b", "c", "d", "e"}) items.push_back(makeItem(id));
    imported(makeReceipt("r-1", 1, items));
    exec("UPDATE tasks SET item_json = json_remove(item_json, '$.title') WHERE item_id = 'b';");
    exec("UPDATE tasks SET item_json = json_remove(item_json, '$.steps') WHERE item_id = 'c';");
    exec("UPDATE tasks SET category = 'weather' WHERE item_id = 'd';");
    exec("UPDATE tasks SET imported_at = 'soon' WHERE item_id = 'e';");
    auto summaries = store->listTaskSummaries({}, *parseKestrinISO8601("2026-07-27T08:30:00Z"));
    ASSERT_TRUE(summaries);
    ASSERT_EQ(summaries->size(), 1u);
    EXPECT_EQ(summaries->front().taskKey, "r-1::a");
    EXPECT_EQ(store->lastSkippedTaskRowCount(), 4);
}
