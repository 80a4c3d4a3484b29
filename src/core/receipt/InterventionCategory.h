#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// What kind of work an intervention item asks of the user.
enum class InterventionCategory { terminal, interface, permission, decision, physical, externalWait };

template <>
struct EnumTraits<InterventionCategory> {
    static constexpr std::array<EnumCase<InterventionCategory>, 6> cases{{
        {InterventionCategory::terminal, "terminal", "终端命令", "terminal"},
        {InterventionCategory::interface, "interface", "界面操作", "macwindow"},
        {InterventionCategory::permission, "permission", "权限与登录", "lock.shield"},
        {InterventionCategory::decision, "decision", "判断与审批", "checkmark.seal"},
        {InterventionCategory::physical, "physical", "线下或设备", "wrench.and.screwdriver"},
        {InterventionCategory::externalWait, "external_wait", "等待外部结果", "clock.arrow.circlepath"},
    }};
};

}  // namespace kestrin
