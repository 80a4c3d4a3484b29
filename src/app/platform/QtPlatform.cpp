#include "app/platform/QtPlatform.h"

#include "app/platform/QtConfirmationAlerts.h"
#include "app/platform/QtDeferredCalls.h"
#include "app/platform/QtFilePanels.h"
#include "app/platform/QtPasteboard.h"
#include "app/platform/QtRepeatingTimer.h"
#include "app/platform/QtWorkspace.h"
#include "core/intake/AppPaths.h"
#ifdef Q_OS_MACOS
#include "app/platform/MacNotificationCenter.h"
#else
#include "app/platform/FreedesktopNotificationCenter.h"
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
