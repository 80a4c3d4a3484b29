#pragma once

#include <string>

namespace kestrin {

// Why the desktop could not open a folder or a terminal. `subject` is the
// folder's path, or the terminal program that would not start; empty for
// noTerminal.
struct WorkspaceError {
    enum class Kind { folderMissing, noFolderHandler, noTerminal, terminalNotStarted };

    Kind kind = Kind::noTerminal;
    std::string subject;

    static WorkspaceError folderMissing(std::string path);
    static WorkspaceError noFolderHandler(std::string path);
    static WorkspaceError noTerminal();
    static WorkspaceError terminalNotStarted(std::string program);

    // The fixed Chinese text the notice shows.
    std::string description() const;

    bool operator==(const WorkspaceError&) const = default;
};

}  // namespace kestrin
