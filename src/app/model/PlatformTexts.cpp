#include "app/model/PlatformTexts.h"

namespace kestrin {

QString PlatformTexts::multiSelectKey() {
#ifdef Q_OS_MACOS
    return QStringLiteral("Command");
#else
    return QStringLiteral("Ctrl");
#endif
}

QString PlatformTexts::pasteShortcut() {
    return multiSelectKey() + QStringLiteral("-V");
}

QString PlatformTexts::fileManager() {
#ifdef Q_OS_MACOS
    return QStringLiteral("Finder");
#else
    return QStringLiteral("文件管理器");
#endif
}

}  // namespace kestrin
