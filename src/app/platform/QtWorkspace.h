#pragma once

#include <QStringList>

#include "app/model/Workspace.h"

namespace kestrin {

// The desktop launcher through QDesktopServices and detached processes.
//
// Codex is found on macOS by its bundle identifier (`open -b`), on Linux by a
// desktop entry named after the same identifier or plain "codex", started
// with gio or gtk-launch. A terminal is Terminal.app on macOS; on Linux
// $TERMINAL, then x-terminal-emulator, then the first common terminal on PATH.
class QtWorkspace final : public Workspace {
  public:
    bool openURL(const QUrl& url) override;
    bool openFolder(const QString& path) override;
    bool openCodexApplication() override;
    bool openTerminal(const QString& workingDirectory = {}) override;

    // The bundle identifier of the Codex desktop application.
    static QString codexBundleIdentifier();
    // The terminal programs tried on Linux, in order, given the environment's
    // $TERMINAL value (empty when unset): that value first when it is set.
    static QStringList linuxTerminalCandidates(const QString& terminalVariable);
};

}  // namespace kestrin
