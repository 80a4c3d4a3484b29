#pragma once

#include <QString>

namespace kestrin {

// The words for platform things in user-visible texts, so that a text never
// sends a Linux user to a key or program that only a Mac has.
class PlatformTexts {
  public:
    PlatformTexts() = delete;

    // The key that adds rows to a selection: "Command" on macOS, "Ctrl" elsewhere.
    static QString multiSelectKey();
    // The paste shortcut: "Command-V" on macOS, "Ctrl-V" elsewhere.
    static QString pasteShortcut();
    // The file manager: "Finder" on macOS, "文件管理器" elsewhere.
    static QString fileManager();
};

}  // namespace kestrin
