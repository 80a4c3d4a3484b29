#include "core/ReceiptDecoder.h"

#include <nlohmann/json.hpp>

#include "core/JSONObjectReader.h"
#include "core/ParseJSON.h"

namespace kestrin {

namespace {

// Fields are read in declaration order, so the first fault reported is the
// first one in that order.

void decodeSource(JSONObjectReader& reader, ReceiptSource& source) {
    reader.read("agent", source.agent);
    reader.read("taskTitle", source.taskTitle);
    reader.read("taskId", source.taskId);
    reader.read("locator", source.locator);
}

void decodeProject(JSONObjectReader& reader, ReceiptProject& project) {
    reader.read("name", project.name);
    reader.read("path", project.path);
}

void decodeStep(JSONObjectReader& reader, ActionStep& step) {
    reader.read("id", step.id);
    reader.read("order", step.order);
    reader.read("title", step.title);
    reader.read("instruction", step.instruction);
    reader.read("kind", step.kind);
    reader.read("workingDirectory", step.workingDirectory);
    reader.read("command", step.command);
    reader.read("requiresPassword", step.requiresPassword);
    reader.read("passwordPrompt", step.passwordPrompt);
    reader.read("successSignal", step.successSignal);
    reader.read("failureAction", step.failureAction);
}

void decodeVerification(JSONObjectReader& reader, VerificationPlan& plan) {
    reader.read("instruction", plan.instruction);
    reader.read("successEvidence", plan.successEvidence);
}

void decodeItemFields(JSONObjectReader& reader, InterventionItem& item) {
    reader.read("id", item.id);
    reader.read("title", item.title);
    reader.read("reason", item.reason);
    reader.read("expectedOutcome", item.expectedOutcome);
    reader.read("category", item.category);
    reader.read("priority", item.priority);
    reader.read("estimatedMinutes", item.estimatedMinutes);
    reader.read("prerequisites", item.prerequisites);
    reader.readObjects("steps", item.steps, decodeStep);
    reader.readObject("verification", item.verification, decodeVerification);
    reader.read("risk", item.risk);
    reader.read("rollback", item.rollback);
    reader.read("resumeContext", item.resumeContext);
    reader.read("payloadVersion", item.payloadVersion);
}

void decodeReceiptFields(JSONObjectReader& reader, InterventionReceipt& receipt) {
    reader.read("schemaVersion", receipt.schemaVersion);
    reader.read("receiptId", receipt.receiptId);
    reader.read("version", receipt.version);
    reader.read("createdAt", receipt.createdAt);
    reader.read("updatedAt", receipt.updatedAt);
    reader.readObject("source", receipt.source, decodeSource);
    reader.readObject("project", receipt.project, decodeProject);
    reader.read("state", receipt.state);
    reader.read("requiresUserAction", receipt.requiresUserAction);
    reader.read("summary", receipt.summary);
    reader.readObjects("items", receipt.items, decodeItemFields);
}

template <typename T, typename Decode>
Result<T, DecodingError> decodeValue(const nlohmann::json& value, const std::string& path,
                                     Decode decode) {
    JSONObjectReader reader(value, path);
    T record;
    decode(reader, record);
    return reader.finish(std::move(record));
}

template <typename T, typename Decode>
Result<T, DecodingError> decodeText(std::string_view text, Decode decode) {
    auto parsed = parseJSON(text);
    if (!parsed) return fail(parsed.error());
    return decodeValue<T>(*parsed, {}, decode);
}

}  // namespace

Result<InterventionReceipt, DecodingError> ReceiptDecoder::decodeReceipt(std::string_view json) const {
    return decodeText<InterventionReceipt>(json, decodeReceiptFields);
}

Result<InterventionItem, DecodingError> ReceiptDecoder::decodeItem(std::string_view json) const {
    return decodeText<InterventionItem>(json, decodeItemFields);
}

Result<InterventionReceipt, DecodingError> ReceiptDecoder::receiptFromJSON(
    const nlohmann::json& value, const std::string& path) const {
    return decodeValue<InterventionReceipt>(value, path, decodeReceiptFields);
}

Result<InterventionItem, DecodingError> ReceiptDecoder::itemFromJSON(
    const nlohmann::json& value, const std::string& path) const {
    return decodeValue<InterventionItem>(value, path, decodeItemFields);
}

}  // namespace kestrin
