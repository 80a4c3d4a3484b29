#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// The working state of one stored task. Never part of a receipt: the store
// keeps it and the archive writes it by its raw value.
enum class TaskStatus {
    pending,
    inProgress,
    snoozed,
    waitingExternal,
    readyToResume,
    completed,
    cancelled
};

template <>
struct EnumTraits<TaskStatus> {
    static constexpr std::array<EnumCase<TaskStatus>, 7> cases{{
        {TaskStatus::pending, "pending", "待处理", "tray.full"},
        {TaskStatus::inProgress, "in_progress", "处理中", "play.circle"},
        {TaskStatus::snoozed, "snoozed", "已暂缓", "moon.zzz"},
        {TaskStatus::waitingExternal, "waiting_external", "等待外部", "hourglass"},
        {TaskStatus::readyToResume, "ready_to_resume", "待回传 Agent", "arrowshape.turn.up.right.circle"},
        {TaskStatus::completed, "completed", "已完成", "checkmark.circle"},
        {TaskStatus::cancelled, "cancelled", "已取消", "xmark.circle"},
    }};
};

// True exactly for completed and cancelled.
constexpr bool isClosed(TaskStatus status) {
    return status == TaskStatus::completed || status == TaskStatus::cancelled;
}

}  // namespace kestrin
