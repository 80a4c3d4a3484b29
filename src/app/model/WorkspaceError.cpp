#include "app/model/WorkspaceError.h"

namespace kestrin {

WorkspaceError WorkspaceError::folderMissing(std::string path) {
    return {Kind::folderMissing, std::move(path)};
}

WorkspaceError WorkspaceError::noFolderHandler(std::string path) {
    return {Kind::noFolderHandler, std::move(path)};
}

WorkspaceError WorkspaceError::noTerminal() {
    return {Kind::noTerminal, {}};
}

WorkspaceError WorkspaceError::terminalNotStarted(std::string program) {
    return {Kind::terminalNotStarted, std::move(program)};
}

std::string WorkspaceError::description() const {
    switch (kind) {
        case Kind::folderMissing:
            // Common for receipts written on another machine.
            return "这台电脑上没有这个文件夹：" + subject;
        case Kind::noFolderHandler:
            return "没有程序能打开这个文件夹：" + subject;
        case Kind::noTerminal:
            return "没有找到可以启动的终端程序。";
        case Kind::terminalNotStarted:
            return "终端程序没有启动：" + subject;
    }
    return {};
}

}  // namespace kestrin
