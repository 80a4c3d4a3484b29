#include "app/QtPlatform.h"

#include "app/QtConfirmationAlerts.h"
#include "app/QtDeferredCalls.h"
#include "app/QtFilePanels.h"
#include "app/QtPasteboard.h"
#include "app/QtRepeatingTimer.h"
#include "app/QtWorkspace.h"
#include "core/AppPaths.h"
#ifdef Q_OS_MACOS
#include "app/MacNotificationCenter.h"
#else
#include "app/FreedesktopNotificationCenter.h"
#endif

namespace kestrin {

AppPlatform makeQtPlatform(QWidget* dialogParent) {
    AppPlatform platform;
    platform.environment = AppPaths::processEnvironment();
    platform.pasteboard = std::make_unique<QtPasteboard>();
    platform.workspace = std::make_unique<QtWorkspace>();
#ifdef Q_OS_MACOS
    platform.notifications = std::make_unique<MacNotificationCenter>();
#else
    platform.notifications = std::make_unique<FreedesktopNotificationCenter>();
#endif
    platform.filePanels = std::make_unique<QtFilePanels>(dialogParent);
    platform.alerts = std::make_unique<QtConfirmationAlerts>(dialogParent);
    platform.timer = std::make_unique<QtRepeatingTimer>();
    platform.deferredCalls = std::make_unique<QtDeferredCalls>();
    return platform;
}

}  // namespace kestrin
