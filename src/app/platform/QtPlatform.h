#pragma once

#include "app/model/AppPlatform.h"

class QWidget;

namespace kestrin {

// The desktop program's platform: the system clipboard, launcher and
// notification service, QFileDialog and QMessageBox over `dialogParent`, a
// QTimer, queued calls, the process environment and the system clock.
AppPlatform makeQtPlatform(QWidget* dialogParent = nullptr);

}  // namespace kestrin
