#pragma once

#include <cstdint>

namespace kestrin {

// What an import did with a receipt. Only the payload fields of the case are
// meaningful; the others stay 0, so results compare equal exactly when case and
// payload are equal.
struct StoreImportResult {
    enum class Kind {
        inserted,        // taskCount: a new receipt identifier was stored
        updated,         // taskCount, previousVersion: a lower stored version was replaced
        stale,           // existingVersion: a higher version is stored; nothing written
        duplicate,       // the same version with the same raw hash is stored; nothing written
        noAction,        // stored (new or newer), but the receipt has no items
        versionConflict  // the same version with a different raw hash is stored; nothing written
    };

    Kind kind = Kind::noAction;
    std::int64_t taskCount = 0;
    std::int64_t previousVersion = 0;
    std::int64_t existingVersion = 0;

    static StoreImportResult inserted(std::int64_t taskCount) {
        return {Kind::inserted, taskCount, 0, 0};
    }
    static StoreImportResult updated(std::int64_t taskCount, std::int64_t previousVersion) {
        return {Kind::updated, taskCount, previousVersion, 0};
    }
    static StoreImportResult stale(std::int64_t existingVersion) {
        return {Kind::stale, 0, 0, existingVersion};
    }
    static StoreImportResult duplicate() { return {Kind::duplicate, 0, 0, 0}; }
    static StoreImportResult noAction() { return {Kind::noAction, 0, 0, 0}; }
    static StoreImportResult versionConflict() { return {Kind::versionConflict, 0, 0, 0}; }

    bool operator==(const StoreImportResult&) const = default;
};

}  // namespace kestrin
