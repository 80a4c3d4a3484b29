#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// What kind of data directory a program runs on, so the user can tell the real
// task store from an isolated or hand-picked one. See AppPaths::dataEnvironment.
enum class TaskDataEnvironment {
    standard,   // the default directory in the per-user data location
    temporary,  // a directory inside a temporary-files location
    custom      // anything else
};

template <>
struct EnumTraits<TaskDataEnvironment> {
    static constexpr std::array<EnumCase<TaskDataEnvironment>, 3> cases{{
        {TaskDataEnvironment::standard, "standard", "正式任务库"},
        {TaskDataEnvironment::temporary, "temporary", "隔离测试库"},
        {TaskDataEnvironment::custom, "custom", "自定义任务库"},
    }};
};

}  // namespace kestrin
