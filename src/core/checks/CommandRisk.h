#pragma once

#include "core/support/ClosedEnum.h"

namespace kestrin {

// Why a step's command deserves a second look before the user runs it. The
// raw value is the stable code (velmora-cli --json); the display name is the
// short explanation shown to the user. Cases are in the order they are shown,
// the strongest of each kind first.
enum class CommandRisk {
    runsDownloadedCode,
    deletesOutsideProject,  // the stronger form of deletesRecursively
    deletesRecursively,
    destroysData,
    discardsWork,
    forcePushes,  // the lighter form of rewriting history
    raisesPrivileges,
    weakensProtection
};

template <>
struct EnumTraits<CommandRisk> {
    static constexpr std::array<EnumCase<CommandRisk>, 8> cases{{
        {CommandRisk::runsDownloadedCode, "runs_downloaded_code",
         "会直接运行从网络下载的代码：先下载到文件，看过内容再运行。"},
        {CommandRisk::deletesOutsideProject, "deletes_outside_project",
         "会递归删除根目录、主目录、通配符或项目之外的路径：逐个核对删除目标。"},
        {CommandRisk::deletesRecursively, "deletes_recursively",
         "会递归删除文件，删除后无法恢复：核对删除目标。"},
        {CommandRisk::destroysData, "destroys_data",
         "会删除数据库数据或覆写磁盘：先确认目标并做好备份。"},
        {CommandRisk::discardsWork, "discards_work",
         "会丢弃未提交的修改、未跟踪的文件或分支，无法撤销：先确认没有要保留的改动。"},
        {CommandRisk::forcePushes, "force_pushes",
         "会强制推送，可能覆盖远程分支上的提交：核对分支和远程。"},
        {CommandRisk::raisesPrivileges, "raises_privileges",
         "会以管理员或其他用户的权限运行：确认确实需要提权。"},
        {CommandRisk::weakensProtection, "weakens_protection",
         "会放开权限或关闭安全防护：确认必要，并记得之后恢复。"},
    }};
};

}  // namespace kestrin
