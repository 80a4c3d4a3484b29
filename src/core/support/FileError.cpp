#include "core/support/FileError.h"

namespace kestrin {

FileError FileError::fromCode(Kind kind, std::string path, std::error_code code,
                              std::string destination) {
    return FileError{kind, std::move(path), std::move(destination), code.message()};
}

std::string FileError::description() const {
    switch (kind) {
        case Kind::noDataLocation:
            return "找不到用户数据目录：" + reason;
        case Kind::createDirectory:
            return "无法创建目录 " + path + "：" + reason;
        case Kind::listDirectory:
            return "无法读取目录 " + path + "：" + reason;
        case Kind::readFile:
            return "无法读取文件 " + path + "：" + reason;
        case Kind::writeFile:
            return "无法写入文件 " + path + "：" + reason;
        case Kind::moveItem:
            return "无法将 " + path + " 移动到 " + destination + "：" + reason;
    }
    return reason;
}

}  // namespace kestrin
