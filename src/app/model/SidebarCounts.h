#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "core/store/TaskStatus.h"

namespace kestrin {

// The numbers beside the sidebar's rows. Open tasks are counted as listed;
// completed and cancelled ones are counted by the store, without reading
// them, and neither count includes rows that cannot be read.
struct SidebarCounts {
    std::int64_t attention = 0;
    std::int64_t all = 0;
    std::map<TaskStatus, std::int64_t> byStatus;
    // Open tasks per project name: a project view shows nothing else.
    std::map<std::string, std::int64_t> byProject;

    bool operator==(const SidebarCounts&) const = default;
};

}  // namespace kestrin
