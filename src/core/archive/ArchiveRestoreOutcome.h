#pragma once

#include <cstdint>
#include <filesystem>

namespace kestrin {

// What a successful archive restore did.
struct ArchiveRestoreOutcome {
    std::int64_t receiptCount = 0;       // receipts in the archive
    std::int64_t taskCount = 0;          // task states in the archive
    std::filesystem::path safetyBackup;  // copy of the live database taken before the swap

    bool operator==(const ArchiveRestoreOutcome&) const = default;
};

}  // namespace kestrin
