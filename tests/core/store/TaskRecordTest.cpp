#include <gtest/gtest.h>

#include "core/store/TaskRecord.h"

using namespace kestrin;

namespace {

TaskRecord taskWithFourSteps(std::set<std::string> completed) {
    TaskRecord task;
    task.taskKey = "rcpt-1::grant";
    task.receiptID = "rcpt-1";
    for (const char* id : {"open", "find", "add", "check"}) {
        ActionStep step;
        step.id = id;
        task.item.steps.push_back(step);
    }
    task.completedStepIDs = std::move(completed);
    return task;
}

}  // namespace

TEST(TaskRecord, CountsTickedStepsBySetSize) {
    const auto task = taskWithFourSteps({"open", "add"});
    EXPECT_EQ(task.id(), "rcpt-1::grant");
    EXPECT_EQ(task.completedStepCount(), 2u);
    EXPECT_EQ(task.totalStepCount(), 4u);

    // A ticked step that no longer exists still counts.
    const auto stale = taskWithFourSteps({"open", "find", "add", "check", "removed"});
    EXPECT_EQ(stale.completedStepCount(), 5u);
    EXPECT_TRUE(stale.isStepComplete("removed"));
    EXPECT_FALSE(task.isStepComplete("find"));
}

TEST(TaskRecord, StepIdentifiersAreCaseSensitive) {
    const auto task = taskWithFourSteps({"open"});
    EXPECT_TRUE(task.isStepComplete("open"));
    EXPECT_FALSE(task.isStepComplete("Open"));
}

TEST(TaskRecord, SnoozeIsAbsentByDefaultAndTakesPartInEquality) {
    const auto task = taskWithFourSteps({});
    EXPECT_EQ(task.snoozedUntil, std::nullopt);
    auto snoozed = task;
    snoozed.snoozedUntil = Timestamp{std::chrono::milliseconds{1}};
    EXPECT_NE(snoozed, task);
    EXPECT_EQ(taskWithFourSteps({"add", "open"}), taskWithFourSteps({"open", "add"}));
}
