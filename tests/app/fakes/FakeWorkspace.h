#pragma once

#include <QList>
#include <QStringList>
#include <optional>

#include "app/model/Workspace.h"

namespace kestrin {

// Records every request and answers with the configured results.
class FakeWorkspace final : public Workspace {
public:
    bool openURL(const QUrl& url) override {
        openedURLs << url;
        return acceptsURLs;
    }
    Result<void, WorkspaceError> openFolder(const QString& path) override {
        openedFolders << path;
        if (folderFailure) return fail(*folderFailure);
        return {};
    }
    bool openCodexApplication() override {
        ++codexOpenRequests;
        return codexInstalled;
    }
    Result<void, WorkspaceError> openTerminal(const QString& workingDirectory) override {
        terminalDirectories << workingDirectory;
        if (terminalFailure) return fail(*terminalFailure);
        return {};
    }

    bool runInTerminal(const QStringList& arguments, const QString& workingDirectory) override {
        terminalCommands << arguments;
        terminalDirectories << workingDirectory;
        return acceptsTerminalCommands;
    }

    bool acceptsURLs = true;
    bool acceptsTerminalCommands = true;
    QList<QStringList> terminalCommands;
    bool codexInstalled = true;
    std::optional<WorkspaceError> folderFailure;
    std::optional<WorkspaceError> terminalFailure;
    QList<QUrl> openedURLs;
    QStringList openedFolders;
    QStringList terminalDirectories;
    int codexOpenRequests = 0;
};

}  // namespace kestrin
