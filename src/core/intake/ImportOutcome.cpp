#include "core/intake/ImportOutcome.h"

namespace kestrin {

std::string ImportOutcome::userMessage() const {
    using Kind = StoreImportResult::Kind;
    switch (result.kind) {
        case Kind::inserted:
            return "已导入 " + std::to_string(result.taskCount) + " 个人工介入事项。";
        case Kind::updated:
            return "已从 v" + std::to_string(result.previousVersion) + " 更新到 v" +
                   std::to_string(receipt.version) + "，当前有 " +
                   std::to_string(result.taskCount) + " 个事项。";
        case Kind::stale:
            return "已忽略旧版本；本地已有 v" + std::to_string(result.existingVersion) + "。";
        case Kind::duplicate:
            return "这张回执已经导入，没有创建重复事项。";
        case Kind::noAction:
            return "回执已进入历史记录；当前没有人工介入事项。";
        case Kind::versionConflict:
            return "同一 receipt_id 和 version 的内容不一致；请让 Agent 增加 version 后重试。";
    }
    return {};
}

bool ImportOutcome::createsNotification() const {
    return (result.kind == StoreImportResult::Kind::inserted ||
            result.kind == StoreImportResult::Kind::updated) &&
           result.taskCount > 0;
}

}  // namespace kestrin
