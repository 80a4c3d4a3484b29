#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

// Why an archive cannot be restored, or why a backup or restore path was
// refused. Each kind uses only the payload fields named beside it; the others
// stay empty. description() is the exact user-facing text.
struct TaskArchiveError {
    enum class Kind {
        malformed,                // text: why the archive JSON could not be decoded
        unsupportedSchema,        // text: the archive's schema version
        duplicateReceipt,         // receiptID
        duplicateTaskState,       // taskKey
        receiptIdentityMismatch,  // receiptID: the archived identifier
        receiptHashMismatch,      // receiptID
        invalidReceipt,           // text
        missingTask,              // taskKey
        invalidStep,              // taskKey, stepID
        staleReceipt,             // receiptID, archiveVersion, existingVersion
        unsafePath,               // path
        notUTF8,                  // no payload
    };

    Kind kind = Kind::malformed;
    std::string text;
    std::string receiptID;
    std::string taskKey;
    std::string stepID;
    std::int64_t archiveVersion = 0;
    std::int64_t existingVersion = 0;
    std::string path;

    static TaskArchiveError malformed(std::string text);
    static TaskArchiveError unsupportedSchema(std::string version);
    static TaskArchiveError duplicateReceipt(std::string receiptID);
    static TaskArchiveError duplicateTaskState(std::string taskKey);
    static TaskArchiveError receiptIdentityMismatch(std::string receiptID);
    static TaskArchiveError receiptHashMismatch(std::string receiptID);
    static TaskArchiveError invalidReceipt(std::string text);
    static TaskArchiveError missingTask(std::string taskKey);
    static TaskArchiveError invalidStep(std::string taskKey, std::string stepID);
    static TaskArchiveError staleReceipt(std::string receiptID, std::int64_t archiveVersion,
                                         std::int64_t existingVersion);
    static TaskArchiveError unsafePath(std::string path);
    static TaskArchiveError notUTF8();

    std::string description() const;

    bool operator==(const TaskArchiveError&) const = default;
};

}  // namespace kestrin
