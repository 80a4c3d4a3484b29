#pragma once

#include <QList>
#include <QStringList>

#include "app/model/Workspace.h"

namespace kestrin {

// Records every request and answers with the configured results.
class FakeWorkspace final : public Workspace {
public:
    bool openURL(const QUrl& url) override {
        openedURLs << url;
        return acceptsURLs;
    }
    bool openFolder(const QString& path) override {
        openedFolders << path;
        return true;
    }
    bool openCodexApplication() override {
        ++codexOpenRequests;
        return codexInstalled;
    }
    bool openTerminal(const QString& workingDirectory) override {
        terminalDirectories << workingDirectory;
        return true;
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
    QList<QUrl> openedURLs;
    QStringList openedFolders;
    QStringList terminalDirectories;
    int codexOpenRequests = 0;
};

}  // namespace kestrin
