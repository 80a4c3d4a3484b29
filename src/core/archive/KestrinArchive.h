#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/store/ArchivedReceipt.h"
#include "core/store/ArchivedTaskState.h"
#include "core/receipt/DecodingError.h"
#include "core/checks/ReceiptValidator.h"
#include "core/support/Result.h"
#include "core/checks/SecretScanner.h"
#include "core/store/TaskArchiveError.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// The self-checking archive document: the raw text and hash of every stored
// receipt and the working state of every task. Independent of the database
// layout: a restore passes every receipt through the importer again.
struct KestrinArchive {
    // The format version this build writes; it reads every "1.x".
    static constexpr const char* currentSchemaVersion = "1.0.0";

    std::string schemaVersion = currentSchemaVersion;  // "schema_version"
    Timestamp exportedAt{};                            // "exported_at"
    std::vector<ArchivedReceipt> receipts;             // "receipts"
    std::vector<ArchivedTaskState> taskStates;         // "task_states"

    // The document under the wire rules (snake-case keys in byte order,
    // written timestamps, "/" unescaped, absent wake-up times left out),
    // compact or, with `pretty`, indented. Lists are written in their order.
    std::string encode(bool pretty) const;

    // Reads a document under the same rules: every key but "snoozed_until"
    // required (null counts as absent there), unknown keys ignored, unknown
    // statuses refused. Either the whole archive or the first fault.
    static Result<KestrinArchive, DecodingError> decode(std::string_view json);

    // Decides whether the archive may be restored, before anything is written
    // anywhere; the first failing rule, in this order, is returned:
    // 1. the schema version begins with "1." (unsupportedSchema);
    // 2. for each receipt in list order: an identifier not listed before
    //    (duplicateReceipt); the SHA-256 of rawJson equals rawHash exactly
    //    (receiptHashMismatch); no secret in rawJson by the importer's scan,
    //    escaped secrets included (invalidReceipt "<id> 包含疑似秘密。");
    //    rawJson decodes as a receipt (invalidReceipt "<id>：<fault>"); its
    //    identifier and version are the listed ones (receiptIdentityMismatch);
    //    no error-severity issue (invalidReceipt, the messages joined by "；");
    // 3. for each task state in list order: a key not listed before
    //    (duplicateTaskState) that names an item of an archived receipt
    //    (missingTask), whose ticked steps are steps of that item, each once
    //    (invalidStep).
    // The local database plays no part here.
    Result<void, TaskArchiveError> validate(const ReceiptValidator& validator,
                                            const SecretScanner& scanner) const;

    bool operator==(const KestrinArchive&) const = default;
};

}  // namespace kestrin
