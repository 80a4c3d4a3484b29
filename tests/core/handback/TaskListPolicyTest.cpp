#include <gtest/gtest.h>

#include "core/handback/TaskListPolicy.h"

using namespace kestrin;

namespace {

using Names = std::vector<std::string>;

TaskRecord task(std::string key, std::string project, TaskStatus status = TaskStatus::pending) {
    TaskRecord record;
    record.taskKey = std::move(key);
    record.project = {.name = std::move(project), .path = "/work/" + record.taskKey};
    record.status = status;
    return record;
}

Names keysOf(const std::vector<TaskRecord>& tasks) {
    Names keys;
    for (const auto& t : tasks) keys.push_back(t.taskKey);
    return keys;
}

}  // namespace

// Completed and cancelled tasks are hidden; the rest keep the store's order.
TEST(TaskListPolicy, ProjectsListTheirOpenTasksByExactName) {
    const std::vector<TaskRecord> tasks = {task("1", "B"),
                                           task("2", "A"),
                                           task("3", "B", TaskStatus::snoozed),
                                           task("4", "Done", TaskStatus::completed),
                                           task("5", "Dropped", TaskStatus::cancelled),
                                           task("6", "Dropped", TaskStatus::completed),
                                           task("7", "B", TaskStatus::cancelled),
                                           task("8", "B", TaskStatus::readyToResume),
                                           task("9", "B", TaskStatus::waitingExternal)};
    EXPECT_EQ(TaskListPolicy::projectNames(tasks), (Names{"A", "B"}));
    EXPECT_EQ(TaskListPolicy::projectNames({}), Names{});
    EXPECT_EQ(keysOf(TaskListPolicy::tasks("B", tasks)), (Names{"1", "3", "8", "9"}));
    EXPECT_EQ(TaskListPolicy::tasks("B", tasks)[2], tasks[7]);
    for (const char* hidden : {"b", "Dropped"})
        EXPECT_TRUE(TaskListPolicy::tasks(hidden, tasks).empty());
    EXPECT_TRUE(TaskListPolicy::hasVisibleTasks("B", tasks));
    EXPECT_FALSE(TaskListPolicy::hasVisibleTasks("b", tasks));
    EXPECT_FALSE(TaskListPolicy::hasVisibleTasks("Dropped", tasks));
    EXPECT_FALSE(TaskListPolicy::hasVisibleTasks("B", {}));
}

// Code point order of the composed form, case-sensitive, not a locale's.
TEST(TaskListPolicy, ProjectNamesSortByCodePointOfTheComposedForm) {
    EXPECT_EQ(
        TaskListPolicy::projectNames(std::vector{task("1", "a"), task("2", "B"), task("3", "Ä"),
                                                 task("4", "中文"), task("5", "Z")}),
        (Names{"B", "Z", "a", "Ä", "中文"}));
    // "e" + combining acute composes to U+00E9, after "f"; raw code points would put it first.
    EXPECT_EQ(TaskListPolicy::projectNames(std::vector{task("1", "e\u0301"), task("2", "f")}),
              (Names{"f", "e\u0301"}));
    // Canonically equivalent spellings stay two projects; they compose alike,
    // so their bytes decide their order, whatever the input order.
    const std::vector<TaskRecord> tasks = {task("decomposed", "Cafe\u0301"),
                                           task("composed", "Caf\u00e9"),
                                           task("upper", "CAF\u00c9")};
    const Names expected = {"CAF\u00c9", "Cafe\u0301", "Caf\u00e9"};
    EXPECT_EQ(TaskListPolicy::projectNames(tasks), expected);
    EXPECT_EQ(TaskListPolicy::projectNames(std::vector{tasks[2], tasks[1], tasks[0]}), expected);
    EXPECT_EQ(keysOf(TaskListPolicy::tasks("Caf\u00e9", tasks)), Names{"composed"});
    EXPECT_EQ(keysOf(TaskListPolicy::tasks("Cafe\u0301", tasks)), Names{"decomposed"});
}

TEST(TaskListPolicy, ReconcilingKeepsAListedSelectionElseTakesTheFirst) {
    const std::vector<TaskRecord> shown = {task("a", "P"), task("b", "P"), task("c", "Q")};
    using Key = std::optional<std::string>;
    const std::tuple<Key, std::vector<TaskRecord>, Key> cases[] = {
        {"b", shown, "b"},
        {"gone", shown, "a"},
        {"B", shown, "a"},
        {std::nullopt, shown, "a"},
        {"a", {}, std::nullopt},
        {std::nullopt, {}, std::nullopt},
        // Visibility is the caller's business: a listed closed task stays selected.
        {"z", {task("y", "P"), task("z", "P", TaskStatus::completed)}, "z"}};
    for (const auto& [selected, listed, expected] : cases) {
        EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(selected, listed), expected)
            << selected.value_or("-");
    }
}
