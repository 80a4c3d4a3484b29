#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// What one step asks the user to do.
enum class ActionKind {
    openApplication,
    navigate,
    paste,
    runCommand,
    enterCredential,
    choose,
    verify,
    wait,
    physical
};

template <>
struct EnumTraits<ActionKind> {
    static constexpr std::array<EnumCase<ActionKind>, 9> cases{{
        {ActionKind::openApplication, "open_application", "打开应用"},
        {ActionKind::navigate, "navigate", "进入位置"},
        {ActionKind::paste, "paste", "粘贴内容"},
        {ActionKind::runCommand, "run_command", "运行命令"},
        {ActionKind::enterCredential, "enter_credential", "输入凭据"},
        {ActionKind::choose, "choose", "作出选择"},
        {ActionKind::verify, "verify", "核验结果"},
        {ActionKind::wait, "wait", "等待"},
        {ActionKind::physical, "physical", "线下操作"},
    }};
};

}  // namespace kestrin
