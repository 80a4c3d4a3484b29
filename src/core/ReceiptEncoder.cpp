#include "core/ReceiptEncoder.h"

#include "core/JSONObjectWriter.h"

namespace kestrin {

namespace {

using json = nlohmann::json;

json encodeSource(const ReceiptSource& source) {
    JSONObjectWriter writer;
    writer.write("agent", source.agent);
    writer.write("taskTitle", source.taskTitle);
    writer.write("taskId", source.taskId);
    writer.write("locator", source.locator);
    return writer.take();
}

json encodeProject(const ReceiptProject& project) {
    JSONObjectWriter writer;
    writer.write("name", project.name);
    writer.write("path", project.path);
    return writer.take();
}

json encodeStep(const ActionStep& step) {
    JSONObjectWriter writer;
    writer.write("id", step.id);
    writer.write("order", step.order);
    writer.write("title", step.title);
    writer.write("instruction", step.instruction);
    writer.write("kind", step.kind);
    writer.write("workingDirectory", step.workingDirectory);
    writer.write("command", step.command);
    writer.write("requiresPassword", step.requiresPassword);
    writer.write("passwordPrompt", step.passwordPrompt);
    writer.write("successSignal", step.successSignal);
    writer.write("failureAction", step.failureAction);
    return writer.take();
}

json encodeVerification(const VerificationPlan& plan) {
    JSONObjectWriter writer;
    writer.write("instruction", plan.instruction);
    writer.write("successEvidence", plan.successEvidence);
    return writer.take();
}

json encodeItem(const InterventionItem& item) {
    JSONObjectWriter writer;
    writer.write("id", item.id);
    writer.write("title", item.title);
    writer.write("reason", item.reason);
    writer.write("expectedOutcome", item.expectedOutcome);
    writer.write("category", item.category);
    writer.write("priority", item.priority);
    writer.write("estimatedMinutes", item.estimatedMinutes);
    writer.write("prerequisites", item.prerequisites);
    writer.writeObjects("steps", item.steps, encodeStep);
    writer.writeJSON("verification", encodeVerification(item.verification));
    writer.write("risk", item.risk);
    writer.write("rollback", item.rollback);
    writer.write("resumeContext", item.resumeContext);
    writer.write("payloadVersion", item.payloadVersion);
    return writer.take();
}

}  // namespace

std::string ReceiptEncoder::encode(const InterventionReceipt& receipt) const {
    return dump(toJSON(receipt));
}

std::string ReceiptEncoder::encode(const InterventionItem& item) const {
    return dump(toJSON(item));
}

json ReceiptEncoder::toJSON(const InterventionReceipt& receipt) const {
    JSONObjectWriter writer;
    writer.write("schemaVersion", receipt.schemaVersion);
    writer.write("receiptId", receipt.receiptId);
    writer.write("version", receipt.version);
    writer.write("createdAt", receipt.createdAt);
    writer.write("updatedAt", receipt.updatedAt);
    writer.writeJSON("source", encodeSource(receipt.source));
    writer.writeJSON("project", encodeProject(receipt.project));
    writer.write("state", receipt.state);
    writer.write("requiresUserAction", receipt.requiresUserAction);
    writer.write("summary", receipt.summary);
    writer.writeObjects("items", receipt.items, encodeItem);
    return writer.take();
}

json ReceiptEncoder::toJSON(const InterventionItem& item) const {
    return encodeItem(item);
}

std::string ReceiptEncoder::dump(const json& value) const {
    // nlohmann never escapes "/" and, without ensure_ascii, writes non-ASCII
    // as UTF-8. Text that is not UTF-8 can only come from a record built in
    // memory (decoded text always is); it is written with U+FFFD in place of
    // the bad bytes rather than failing.
    return value.dump(pretty_ ? 2 : -1, ' ', false, json::error_handler_t::replace);
}

}  // namespace kestrin
