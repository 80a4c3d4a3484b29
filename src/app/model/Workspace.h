#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include "app/model/WorkspaceError.h"
#include "core/support/Result.h"

namespace kestrin {

// The desktop's launcher: opens links, folders, terminals and applications.
// Every call is fire-and-forget; the answer only says whether the request was
// accepted, and for folders and terminals why not.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Asks the desktop to open `url`; false when no handler took the request.
    virtual bool openURL(const QUrl& url) = 0;
    // Shows the directory at `path` in the file manager; fails when it does
    // not exist on this machine or no program took the request.
    virtual Result<void, WorkspaceError> openFolder(const QString& path) = 0;
    // Finds the installed Codex desktop application and opens it; false when
    // it is not installed or refused to start.
    virtual bool openCodexApplication() = 0;
    // Opens a terminal window, in `workingDirectory` when one is given and
    // exists (else in the home directory); fails when no terminal is found or
    // it would not start.
    virtual Result<void, WorkspaceError> openTerminal(const QString& workingDirectory = {}) = 0;
    // Opens a terminal window in `workingDirectory` running `arguments`
    // (program first) as an argument vector, never through a shell; false
    // when no terminal could take it.
    virtual bool runInTerminal(const QStringList& arguments, const QString& workingDirectory) = 0;
};

}  // namespace kestrin
