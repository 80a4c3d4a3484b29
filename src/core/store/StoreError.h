#pragma once

#include <cstdint>
#include <string>

namespace kestrin {

// Why a task store operation failed. Each case carries its payload; the
// user-facing text is description(), fixed per case.
struct StoreError {
    enum class Kind {
        open,                     // message
        sqlite,                   // message
        encode,                   // message
        decode,                   // message
        missingTask,              // taskKey
        destinationExists,        // path
        backup,                   // message
        integrity,                // message
        unsupportedSchema,        // found, supported
        versionConflictUnderLock  // existingVersion, receiptID
    };

    Kind kind = Kind::sqlite;
    std::string message;
    std::string taskKey;
    std::string path;
    std::string receiptID;
    std::int64_t found = 0;
    std::int64_t supported = 0;
    std::int64_t existingVersion = 0;

    static StoreError open(std::string message);
    static StoreError sqlite(std::string message);
    static StoreError encode(std::string message);
    static StoreError decode(std::string message);
    static StoreError missingTask(std::string taskKey);
    static StoreError destinationExists(std::string path);
    static StoreError backup(std::string message);
    static StoreError integrity(std::string message);
    static StoreError unsupportedSchema(std::int64_t found, std::int64_t supported);
    static StoreError versionConflictUnderLock(std::int64_t existingVersion, std::string receiptID);

    // The fixed Chinese text shown to the user, e.g. "找不到任务：" + task key.
    std::string description() const;

    bool operator==(const StoreError&) const = default;
};

}  // namespace kestrin
