#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "core/receipt/InterventionItem.h"
#include "core/receipt/ReceiptProject.h"
#include "core/receipt/ReceiptSource.h"
#include "core/receipt/ReceiptState.h"
#include "core/store/TaskSearchFields.h"
#include "core/store/TaskStatus.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// One stored task: an intervention item with its receipt's context, its
// working status and the steps the user has ticked. Built only by the store.
struct TaskRecord {
    std::string taskKey;  // receipt identifier + "::" + item identifier
    std::string receiptID;
    std::int64_t receiptVersion = 0;
    ReceiptProject project;
    ReceiptSource source;
    ReceiptState receiptState = ReceiptState::completed;
    std::string receiptSummary;
    InterventionItem item;
    Timestamp createdAt{};
    Timestamp updatedAt{};
    Timestamp importedAt{};
    TaskStatus status = TaskStatus::pending;
    std::optional<Timestamp> snoozedUntil;
    std::set<std::string> completedStepIDs;

    const std::string& id() const { return taskKey; }
    TaskSearchFields searchFields() const {
        return {0, item.title, item.reason, project.name, source.taskTitle, source.agent,
                item.category};
    }
    std::size_t totalStepCount() const { return item.steps.size(); }
    // The size of the set, so identifiers of steps that no longer exist count.
    std::size_t completedStepCount() const { return completedStepIDs.size(); }
    bool isStepComplete(const std::string& stepID) const { return completedStepIDs.contains(stepID); }

    bool operator==(const TaskRecord&) const = default;
};

}  // namespace kestrin
