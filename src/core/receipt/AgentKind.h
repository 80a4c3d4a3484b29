#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// Which kind of agent wrote a receipt.
enum class AgentKind { codex, claudeCode, openCode, other };

template <>
struct EnumTraits<AgentKind> {
    static constexpr std::array<EnumCase<AgentKind>, 4> cases{{
        {AgentKind::codex, "codex", "Codex"},
        {AgentKind::claudeCode, "claude_code", "Claude Code"},
        {AgentKind::openCode, "opencode", "OpenCode"},
        {AgentKind::other, "other", "其他 Agent"},
    }};
};

}  // namespace kestrin
