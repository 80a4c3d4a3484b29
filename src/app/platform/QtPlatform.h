#pragma once

#include "app/model/AppPlatform.h"

class QWidget;

namespace kestrin {

// The desktop program's platform: the system clipboard, launcher and
// notification service, QFileDialog over `dialogParent`, a QTimer, queued
// calls, the process environment and the system clock. The confirmation
// alerts come from the caller: the window's views build them, so that they
// look like every other alert.
AppPlatform makeQtPlatform(std::unique_ptr<ConfirmationAlerts> alerts,
                           QWidget* dialogParent = nullptr);

}  // namespace kestrin
