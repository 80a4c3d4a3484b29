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

    bool acceptsURLs = true;
    bool codexInstalled = true;
    QList<QUrl> openedURLs;
    QStringList openedFolders;
    QStringList terminalDirectories;
    int codexOpenRequests = 0;
};

}  // namespace kestrin
