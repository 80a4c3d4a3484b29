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

QString PlatformTexts::inFileManager() {
#ifdef Q_OS_MACOS
    return QStringLiteral("在 Finder 中");
#else
    return QStringLiteral("在文件管理器中");
#endif
}

}  // namespace kestrin
