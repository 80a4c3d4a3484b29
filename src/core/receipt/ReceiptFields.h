#pragma once

// The wire fields of each receipt record, listed once for both directions:
// each function takes a JSONObjectReader with a record to fill, or a
// JSONObjectWriter with a record to write. Fields are in declaration order,
// which is the order they are decoded in, so the first fault reported is the
// first in that order. Internal to the decoder and encoder.

#include "core/receipt/InterventionItem.h"
#include "core/receipt/InterventionReceipt.h"

namespace kestrin::receiptfields {

template <typename Object, typename Source>
void source(Object& o, Source& source) {
    o.field("agent", source.agent);
    o.field("taskTitle", source.taskTitle);
    o.field("taskId", source.taskId);
    o.field("locator", source.locator);
}

template <typename Object, typename Project>
void project(Object& o, Project& project) {
    o.field("name", project.name);
    o.field("path", project.path);
}

template <typename Object, typename Step>
void step(Object& o, Step& step) {
    o.field("id", step.id);
    o.field("order", step.order);
    o.field("title", step.title);
    o.field("instruction", step.instruction);
    o.field("kind", step.kind);
    o.field("workingDirectory", step.workingDirectory);
    o.field("command", step.command);
    o.field("requiresPassword", step.requiresPassword);
    o.field("passwordPrompt", step.passwordPrompt);
    o.field("successSignal", step.successSignal);
    o.field("failureAction", step.failureAction);
}

template <typename Object, typename Plan>
void verification(Object& o, Plan& plan) {
    o.field("instruction", plan.instruction);
    o.field("successEvidence", plan.successEvidence);
}

template <typename Object, typename Item>
void item(Object& o, Item& item) {
    o.field("id", item.id);
    o.field("title", item.title);
    o.field("reason", item.reason);
    o.field("expectedOutcome", item.expectedOutcome);
    o.field("category", item.category);
    o.field("priority", item.priority);
    o.field("estimatedMinutes", item.estimatedMinutes);
    o.field("prerequisites", item.prerequisites);
    o.objects("steps", item.steps, [](auto& nested, auto& value) { step(nested, value); });
    o.object("verification", item.verification,
             [](auto& nested, auto& value) { verification(nested, value); });
    o.field("risk", item.risk);
    o.field("rollback", item.rollback);
    o.field("resumeContext", item.resumeContext);
    o.field("payloadVersion", item.payloadVersion);
}

template <typename Object, typename Receipt>
void receipt(Object& o, Receipt& receipt) {
    o.field("schemaVersion", receipt.schemaVersion);
    o.field("receiptId", receipt.receiptId);
    o.field("version", receipt.version);
    o.field("createdAt", receipt.createdAt);
    o.field("updatedAt", receipt.updatedAt);
    o.object("source", receipt.source, [](auto& nested, auto& value) { source(nested, value); });
    o.object("project", receipt.project, [](auto& nested, auto& value) { project(nested, value); });
    o.field("state", receipt.state);
    o.field("requiresUserAction", receipt.requiresUserAction);
    o.field("summary", receipt.summary);
    o.objects("items", receipt.items, [](auto& nested, auto& value) { item(nested, value); });
}

}  // namespace kestrin::receiptfields
