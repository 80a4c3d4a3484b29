#include "core/store/TaskArchiveError.h"

#include <utility>

namespace kestrin {

namespace {

TaskArchiveError make(TaskArchiveError::Kind kind) {
    TaskArchiveError error;
    error.kind = kind;
    return error;
}

}  // namespace

TaskArchiveError TaskArchiveError::malformed(std::string text) {
    auto error = make(Kind::malformed);
    error.text = std::move(text);
    return error;
}

TaskArchiveError TaskArchiveError::unsupportedSchema(std::string version) {
    auto error = make(Kind::unsupportedSchema);
    error.text = std::move(version);
    return error;
}

TaskArchiveError TaskArchiveError::duplicateReceipt(std::string receiptID) {
    auto error = make(Kind::duplicateReceipt);
    error.receiptID = std::move(receiptID);
    return error;
}

TaskArchiveError TaskArchiveError::duplicateTaskState(std::string taskKey) {
    auto error = make(Kind::duplicateTaskState);
    error.taskKey = std::move(taskKey);
    return error;
}

TaskArchiveError TaskArchiveError::receiptIdentityMismatch(std::string receiptID) {
    auto error = make(Kind::receiptIdentityMismatch);
    error.receiptID = std::move(receiptID);
    return error;
}

TaskArchiveError TaskArchiveError::receiptHashMismatch(std::string receiptID) {
    auto error = make(Kind::receiptHashMismatch);
    error.receiptID = std::move(receiptID);
    return error;
}

TaskArchiveError TaskArchiveError::invalidReceipt(std::string text) {
    auto error = make(Kind::invalidReceipt);
    error.text = std::move(text);
    return error;
}

TaskArchiveError TaskArchiveError::missingTask(std::string taskKey) {
    auto error = make(Kind::missingTask);
    error.taskKey = std::move(taskKey);
    return error;
}

TaskArchiveError TaskArchiveError::invalidStep(std::string taskKey, std::string stepID) {
    auto error = make(Kind::invalidStep);
    error.taskKey = std::move(taskKey);
    error.stepID = std::move(stepID);
    return error;
}

TaskArchiveError TaskArchiveError::staleReceipt(std::string receiptID, std::int64_t archiveVersion,
                                                std::int64_t existingVersion) {
    auto error = make(Kind::staleReceipt);
    error.receiptID = std::move(receiptID);
    error.archiveVersion = archiveVersion;
    error.existingVersion = existingVersion;
    return error;
}

TaskArchiveError TaskArchiveError::unsafePath(std::string path) {
    auto error = make(Kind::unsafePath);
    error.path = std::move(path);
    return error;
}

TaskArchiveError TaskArchiveError::notUTF8() {
    return make(Kind::notUTF8);
}

std::string TaskArchiveError::description() const {
    switch (kind) {
        case Kind::malformed:
            return "数据归档无法解析：" + text;
        case Kind::unsupportedSchema:
            return "暂不支持数据归档版本 " + text + "。";
        case Kind::duplicateReceipt:
            return "数据归档包含重复回执：" + receiptID + "。";
        case Kind::duplicateTaskState:
            return "数据归档包含重复任务状态：" + taskKey + "。";
        case Kind::receiptIdentityMismatch:
            return "归档目录与回执正文的标识不一致：" + receiptID + "。";
        case Kind::receiptHashMismatch:
            return "回执 " + receiptID + " 的校验值不匹配，归档可能已损坏或被修改。";
        case Kind::invalidReceipt:
            return "归档包含无效回执：" + text;
        case Kind::missingTask:
            return "归档状态引用了不存在的任务：" + taskKey + "。";
        case Kind::invalidStep:
            return "归档状态引用了未知步骤：" + taskKey + " / " + stepID + "。";
        case Kind::staleReceipt:
            return "归档中的 " + receiptID + " v" + std::to_string(archiveVersion) + " 早于本地 v" +
                   std::to_string(existingVersion) + "，已停止恢复以避免覆盖较新数据。";
        case Kind::unsafePath:
            return "不能使用当前任务数据库作为备份或恢复来源：" + path;
        case Kind::notUTF8:
            return "数据归档必须是 UTF-8 JSON 文本。";
    }
    return {};
}

}  // namespace kestrin
