#include "core/store/StoreError.h"

namespace kestrin {

namespace {

StoreError withMessage(StoreError::Kind kind, std::string message) {
    StoreError error;
    error.kind = kind;
    error.message = std::move(message);
    return error;
}

}  // namespace

StoreError StoreError::open(std::string message) {
    return withMessage(Kind::open, std::move(message));
}
StoreError StoreError::sqlite(std::string message) {
    return withMessage(Kind::sqlite, std::move(message));
}
StoreError StoreError::encode(std::string message) {
    return withMessage(Kind::encode, std::move(message));
}
StoreError StoreError::decode(std::string message) {
    return withMessage(Kind::decode, std::move(message));
}
StoreError StoreError::backup(std::string message) {
    return withMessage(Kind::backup, std::move(message));
}
StoreError StoreError::integrity(std::string message) {
    return withMessage(Kind::integrity, std::move(message));
}

StoreError StoreError::missingTask(std::string taskKey) {
    StoreError error;
    error.kind = Kind::missingTask;
    error.taskKey = std::move(taskKey);
    return error;
}

StoreError StoreError::destinationExists(std::string path) {
    StoreError error;
    error.kind = Kind::destinationExists;
    error.path = std::move(path);
    return error;
}

StoreError StoreError::unsupportedSchema(std::int64_t found, std::int64_t supported) {
    StoreError error;
    error.kind = Kind::unsupportedSchema;
    error.found = found;
    error.supported = supported;
    return error;
}

StoreError StoreError::versionConflictUnderLock(std::int64_t existingVersion,
                                                std::string receiptID) {
    StoreError error;
    error.kind = Kind::versionConflictUnderLock;
    error.existingVersion = existingVersion;
    error.receiptID = std::move(receiptID);
    return error;
}

std::string StoreError::description() const {
    switch (kind) {
        case Kind::open:
            return "无法打开任务数据库：" + message;
        case Kind::sqlite:
            return "任务数据库操作失败：" + message;
        case Kind::encode:
            return "无法编码任务数据：" + message;
        case Kind::decode:
            return "无法读取任务数据：" + message;
        case Kind::missingTask:
            return "找不到任务：" + taskKey;
        case Kind::destinationExists:
            return "目标文件已经存在，为避免覆盖已停止：" + path;
        case Kind::backup:
            return "任务数据库备份或恢复失败：" + message;
        case Kind::integrity:
            return "任务数据库完整性检查失败：" + message;
        case Kind::unsupportedSchema:
            return "任务数据库版本 " + std::to_string(found) + " 高于当前支持的版本 " +
                   std::to_string(supported) + "，请使用更新版本的 Velmora。";
        case Kind::versionConflictUnderLock:
            return "回执 " + receiptID + " 的版本 " + std::to_string(existingVersion) +
                   " 已被其他进程先行写入且内容不同，已拒绝本次导入以保护本地数据。";
    }
    return {};
}

}  // namespace kestrin
