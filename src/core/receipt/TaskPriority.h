#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// Urgency of an intervention item.
enum class TaskPriority { critical, high, medium, low };

template <>
struct EnumTraits<TaskPriority> {
    static constexpr std::array<EnumCase<TaskPriority>, 4> cases{{
        {TaskPriority::critical, "critical", "立即处理"},
        {TaskPriority::high, "high", "高"},
        {TaskPriority::medium, "medium", "中"},
        {TaskPriority::low, "low", "低"},
    }};
};

// 0 for critical up to 3 for low; a lower rank sorts first.
constexpr int sortRank(TaskPriority priority) {
    return static_cast<int>(priority);
}

}  // namespace kestrin
