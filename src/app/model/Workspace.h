#pragma once

#include <QString>
#include <QUrl>

namespace kestrin {

// The desktop's launcher: opens links, folders and applications. Every call
// is fire-and-forget; the answer only says whether the request was accepted.
class Workspace {
  public:
    virtual ~Workspace() = default;

    // Asks the desktop to open `url`; false when no handler took the request.
    virtual bool openURL(const QUrl& url) = 0;
    // Shows the directory at `path` in the file manager.
    virtual bool openFolder(const QString& path) = 0;
    // Finds the installed Codex desktop application and opens it; false when
    // it is not installed or refused to start.
    virtual bool openCodexApplication() = 0;
    // Opens a terminal window, in `workingDirectory` when one is given.
    virtual bool openTerminal(const QString& workingDirectory = {}) = 0;
};

}  // namespace kestrin
