#pragma once

#include <cstdint>

namespace kestrin {

// Where a long data command stands, for the view's progress dialog.
struct DataCommandProgress {
    enum class Command { exportArchive, restoreArchive };

    Command command = Command::exportArchive;
    // Units done of `total`; `total` is 0 while the amount of work is unknown.
    std::int64_t completed = 0;
    std::int64_t total = 0;
    // The command is over, successfully or not: the dialog closes.
    bool finished = false;

    bool operator==(const DataCommandProgress&) const = default;
};

}  // namespace kestrin
