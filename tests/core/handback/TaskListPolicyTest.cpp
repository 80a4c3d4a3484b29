#include <gtest/gtest.h>

#include "core/handback/TaskListPolicy.h"

using namespace kestrin;

namespace {

TaskRecord task(std::string key, std::string project, TaskStatus status = TaskStatus::pending) {
    TaskRecord record;
    record.taskKey = std::move(key);
    record.project = {.name = std::move(project), .path = "/work/" + record.taskKey};
    record.status = status;
    return record;
}

std::vector<std::string> keysOf(const std::vector<TaskRecord>& tasks) {
    std::vector<std::string> keys;
    for (const auto& t : tasks) keys.push_back(t.taskKey);
    return keys;
}

using Names = std::vector<std::string>;

// Open and closed tasks of several projects, in the store's order.
std::vector<TaskRecord> storeTasks() {
    return {task("1", "B"),
            task("2", "A"),
            task("3", "B", TaskStatus::snoozed),
            task("4", "Done", TaskStatus::completed),
            task("5", "Dropped", TaskStatus::cancelled),
            task("6", "Dropped", TaskStatus::completed),
            task("7", "B", TaskStatus::cancelled),
            task("8", "B", TaskStatus::readyToResume),
            task("9", "B", TaskStatus::waitingExternal)};
}

}  // namespace

TEST(TaskListPolicy, OnlyCompletedAndCancelledTasksAreHidden) {
    for (const auto& c : allCases<TaskStatus>()) {
        const bool closed = c.value == TaskStatus::completed || c.value == TaskStatus::cancelled;
        EXPECT_EQ(TaskListPolicy::isVisibleInProject(task("k", "p", c.value)), !closed)
            << c.rawValue;
    }
}

TEST(TaskListPolicy, ProjectNamesListProjectsWithOpenWorkOnce) {
    EXPECT_EQ(TaskListPolicy::projectNames(storeTasks()), (Names{"A", "B"}));
    EXPECT_EQ(TaskListPolicy::projectNames({}), Names{});

    const std::vector<TaskRecord> snoozedOnly = {task("1", "Later", TaskStatus::snoozed)};
    EXPECT_EQ(TaskListPolicy::projectNames(snoozedOnly), Names{"Later"});
}

TEST(TaskListPolicy, ProjectNamesSortByCodePointOfTheComposedForm) {
    // Case-sensitive code point order, not a locale's.
    EXPECT_EQ(
        TaskListPolicy::projectNames(std::vector{task("1", "a"), task("2", "B"), task("3", "Ä"),
                                                 task("4", "中文"), task("5", "Z")}),
        (Names{"B", "Z", "a", "Ä", "中文"}));
    // "e" + combining acute composes to U+00E9, which sorts after "f"; by raw
    // code points it would come first.
    EXPECT_EQ(TaskListPolicy::projectNames(std::vector{task("1", "e\u0301"), task("2", "f")}),
              (Names{"f", "e\u0301"}));
}

TEST(TaskListPolicy, ProjectsAreMatchedByExactName) {
    // Canonically equivalent spellings stay two projects, each with its own
    // tasks; they compose alike, so their bytes decide their order.
    const std::vector<TaskRecord> tasks = {task("decomposed", "Cafe\u0301"),
                                           task("composed", "Caf\u00e9"),
                                           task("upper", "CAF\u00c9")};
    const Names expected = {"CAF\u00c9", "Cafe\u0301", "Caf\u00e9"};
    EXPECT_EQ(TaskListPolicy::projectNames(tasks), expected);
    EXPECT_EQ(TaskListPolicy::projectNames(std::vector{tasks[2], tasks[1], tasks[0]}), expected);
    EXPECT_EQ(keysOf(TaskListPolicy::tasks("Caf\u00e9", tasks)), Names{"composed"});
    EXPECT_EQ(keysOf(TaskListPolicy::tasks("Cafe\u0301", tasks)), Names{"decomposed"});
    EXPECT_TRUE(TaskListPolicy::tasks("caf\u00e9", tasks).empty());
}

TEST(TaskListPolicy, TasksOfAProjectKeepInputOrderAndDropClosedOnes) {
    const std::vector<TaskRecord> tasks = storeTasks();
    EXPECT_EQ(keysOf(TaskListPolicy::tasks("B", tasks)), (Names{"1", "3", "8", "9"}));
    EXPECT_EQ(TaskListPolicy::tasks("B", tasks)[2], tasks[7]);
    EXPECT_TRUE(TaskListPolicy::tasks("b", tasks).empty());
    EXPECT_TRUE(TaskListPolicy::tasks("Dropped", tasks).empty());

    EXPECT_TRUE(TaskListPolicy::hasVisibleTasks("B", tasks));
    EXPECT_FALSE(TaskListPolicy::hasVisibleTasks("b", tasks));
    EXPECT_FALSE(TaskListPolicy::hasVisibleTasks("Dropped", tasks));
    EXPECT_FALSE(TaskListPolicy::hasVisibleTasks("B", {}));
}

TEST(TaskListPolicy, ReconcilingKeepsAListedSelectionElseTakesTheFirst) {
    const std::vector<TaskRecord> shown = {task("a", "P"), task("b", "P"), task("c", "Q")};
    using Key = std::optional<std::string>;
    EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(Key("b"), shown), Key("b"));
    EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(Key("gone"), shown), Key("a"));
    EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(Key("B"), shown), Key("a"));
    EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(std::nullopt, shown), Key("a"));
    EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(Key("a"), {}), std::nullopt);
    EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(std::nullopt, {}), std::nullopt);
    // Visibility is the caller's business: a listed closed task keeps its selection.
    EXPECT_EQ(TaskListPolicy::reconciledSelectedTaskKey(
                  Key("z"), std::vector{task("y", "P"), task("z", "P", TaskStatus::completed)}),
              Key("z"));
}
