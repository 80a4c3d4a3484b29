#pragma once

#include <cstdint>
#include <vector>

#include "core/store/TaskRecord.h"

namespace kestrin {

// A stretch of a listing, for views that read it page by page. `next` is the
// position (rows of the selection, readable or not, matching or not) at
// which the following page starts; `isLast` says no rows follow.
struct TaskPage {
    std::vector<TaskRecord> tasks;
    std::int64_t next = 0;
    bool isLast = false;
};

}  // namespace kestrin
