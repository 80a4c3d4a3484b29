#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// The agent's state when it wrote the receipt.
enum class ReceiptState { completed, blocked, waitingForUser, paused };

template <>
struct EnumTraits<ReceiptState> {
    static constexpr std::array<EnumCase<ReceiptState>, 4> cases{{
        {ReceiptState::completed, "completed", "Agent 已结束"},
        {ReceiptState::blocked, "blocked", "Agent 被阻塞"},
        {ReceiptState::waitingForUser, "waiting_for_user", "等待本人操作"},
        {ReceiptState::paused, "paused", "Agent 已暂停"},
    }};
};

}  // namespace kestrin
