#include "core/archive/KestrinArchive.h"

#include <map>
#include <set>

#include "core/receipt/JSONObjectReader.h"
#include "core/receipt/JSONObjectWriter.h"
#include "core/receipt/ParseJSON.h"
#include "core/receipt/ReceiptJSON.h"
#include "core/support/SHA256Digest.h"

namespace kestrin {

namespace {

// The wire fields of each archive record, listed once for both directions
// (a JSONObjectReader filling a record, or a JSONObjectWriter writing one).
template <typename Object, typename Step>
void stepFields(Object& o, Step& step) {
    o.field("stepId", step.stepId);
    o.field("completedAt", step.completedAt);
}

template <typename Object, typename State>
void taskStateFields(Object& o, State& state) {
    o.field("taskKey", state.taskKey);
    o.field("status", state.status);
    o.field("snoozedUntil", state.snoozedUntil);
    o.objects("completedSteps", state.completedSteps,
              [](auto& nested, auto& value) { stepFields(nested, value); });
}

template <typename Object, typename Receipt>
void receiptFields(Object& o, Receipt& receipt) {
    o.field("receiptId", receipt.receiptId);
    o.field("version", receipt.version);
    o.field("rawHash", receipt.rawHash);
    o.field("rawJson", receipt.rawJson);
}

template <typename Object, typename Archive>
void archiveFields(Object& o, Archive& archive) {
    o.field("schemaVersion", archive.schemaVersion);
    o.field("exportedAt", archive.exportedAt);
    o.objects("receipts", archive.receipts,
              [](auto& nested, auto& value) { receiptFields(nested, value); });
    o.objects("taskStates", archive.taskStates,
              [](auto& nested, auto& value) { taskStateFields(nested, value); });
}

std::string issueMessages(const std::vector<ValidationIssue>& issues) {
    std::string text;
    for (const auto& issue : issues) {
        if (!text.empty()) text += "；";
        text += issue.message;
    }
    return text;
}

}  // namespace

std::string KestrinArchive::encode(bool pretty) const {
    JSONObjectWriter writer;
    archiveFields(writer, *this);
    return ReceiptJSON::makeEncoder(pretty).dump(writer.take());
}

Result<KestrinArchive, DecodingError> KestrinArchive::decode(std::string_view json) {
    auto parsed = parseJSON(json);
    if (!parsed) return fail(parsed.error());
    JSONObjectReader reader(*parsed);
    KestrinArchive archive;
    archiveFields(reader, archive);
    return reader.finish(std::move(archive));
}

Result<void, TaskArchiveError> KestrinArchive::validate(const ReceiptValidator& validator,
                                                        const SecretScanner& scanner) const {
    if (!schemaVersion.starts_with("1."))
        return fail(TaskArchiveError::unsupportedSchema(schemaVersion));

    const auto decoder = ReceiptJSON::makeDecoder();
    std::set<std::string> receiptIDs;
    std::map<std::string, std::set<std::string>> stepIDsByTaskKey;
    for (const auto& archived : receipts) {
        const auto& id = archived.receiptId;
        if (!receiptIDs.insert(id).second) return fail(TaskArchiveError::duplicateReceipt(id));
        if (SHA256Digest::hex(archived.rawJson) != archived.rawHash) {
            return fail(TaskArchiveError::receiptHashMismatch(id));
        }
        if (!scanner.scanReceiptText(archived.rawJson).empty()) {
            return fail(TaskArchiveError::invalidReceipt(id + " 包含疑似秘密。"));
        }
        auto decoded = decoder.decodeReceipt(archived.rawJson);
        if (!decoded) {
            return fail(TaskArchiveError::invalidReceipt(id + "：" + decoded.error().message()));
        }
        const auto& receipt = decoded.value();
        if (receipt.receiptId != id || receipt.version != archived.version) {
            return fail(TaskArchiveError::receiptIdentityMismatch(id));
        }
        if (auto errors = validator.errors(receipt); !errors.empty()) {
            return fail(TaskArchiveError::invalidReceipt(issueMessages(errors)));
        }
        for (const auto& item : receipt.items) {
            auto& stepIDs = stepIDsByTaskKey[receipt.receiptId + "::" + item.id];
            for (const auto& step : item.steps) stepIDs.insert(step.id);
        }
    }

    std::set<std::string> taskKeys;
    for (const auto& state : taskStates) {
        if (!taskKeys.insert(state.taskKey).second) {
            return fail(TaskArchiveError::duplicateTaskState(state.taskKey));
        }
        const auto item = stepIDsByTaskKey.find(state.taskKey);
        if (item == stepIDsByTaskKey.end())
            return fail(TaskArchiveError::missingTask(state.taskKey));
        std::set<std::string> ticked;
        for (const auto& step : state.completedSteps) {
            if (!item->second.contains(step.stepId) || !ticked.insert(step.stepId).second) {
                return fail(TaskArchiveError::invalidStep(state.taskKey, step.stepId));
            }
        }
    }
    return {};
}

}  // namespace kestrin
