#include "cli/TaskJSON.h"

#include <vector>

#include "core/checks/CommandRiskPolicy.h"
#include "core/receipt/JSONObjectWriter.h"
#include "core/receipt/ReceiptFields.h"
#include "core/receipt/ReceiptJSON.h"

namespace kestrin {

nlohmann::json TaskJSON::task(const TaskRecord& task) {
    JSONObjectWriter o;
    o.field("taskKey", task.taskKey);
    o.field("receiptId", task.receiptID);
    o.field("receiptVersion", task.receiptVersion);
    o.object("project", task.project,
             [](auto& nested, const auto& value) { receiptfields::project(nested, value); });
    o.object("source", task.source,
             [](auto& nested, const auto& value) { receiptfields::source(nested, value); });
    o.field("receiptState", task.receiptState);
    o.field("receiptSummary", task.receiptSummary);
    o.field("createdAt", task.createdAt);
    o.field("updatedAt", task.updatedAt);
    o.field("importedAt", task.importedAt);
    o.field("status", task.status);
    o.field("snoozedUntil", task.snoozedUntil);
    o.field("completedStepIds",
            std::vector<std::string>(task.completedStepIDs.begin(), task.completedStepIDs.end()));
    o.field("totalStepCount", static_cast<std::int64_t>(task.totalStepCount()));
    nlohmann::json value = o.take();
    value["item"] = ReceiptJSON::makeEncoder().toJSON(task.item);
    // Computed for the reader, never part of the receipt: the steps' list
    // order is the encoder's.
    auto& steps = value["item"]["steps"];
    for (std::size_t i = 0; i < task.item.steps.size() && i < steps.size(); ++i) {
        auto flags = nlohmann::json::array();
        for (const CommandRisk risk : CommandRiskPolicy().assess(task.item.steps[i], task.project)) {
            flags.push_back({{"code", rawValue(risk)}, {"text", displayName(risk)}});
        }
        steps[i]["risk_flags"] = std::move(flags);
    }
    return value;
}

nlohmann::json TaskJSON::history(const ReceiptHistoryRecord& receipt) {
    JSONObjectWriter o;
    o.field("receiptId", receipt.receiptID);
    o.field("version", receipt.version);
    o.field("projectName", receipt.projectName);
    o.field("agent", receipt.agent);
    o.field("state", receipt.state);
    o.field("requiresUserAction", receipt.requiresUserAction);
    o.field("summary", receipt.summary);
    o.field("importedAt", receipt.importedAt);
    return o.take();
}

nlohmann::json TaskJSON::paths(const AppPaths& paths, TaskDataEnvironment environment) {
    JSONObjectWriter o;
    o.field("environment", environment);
    o.field("environmentName", std::string(displayName(environment)));
    o.field("root", paths.root().string());
    o.field("inbox", paths.inbox().string());
    o.field("processed", paths.processed().string());
    o.field("rejected", paths.rejected().string());
    o.field("backups", paths.backups().string());
    o.field("database", paths.database().string());
    return o.take();
}

std::string TaskJSON::document(const nlohmann::json& value) {
    return ReceiptJSON::makeEncoder(true).dump(value) + '\n';
}

}  // namespace kestrin
