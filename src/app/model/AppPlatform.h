#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/model/ConfirmationAlerts.h"
#include "app/model/DeferredCalls.h"
#include "app/model/FilePanels.h"
#include "app/model/NotificationCenter.h"
#include "app/model/Pasteboard.h"
#include "app/model/RepeatingTimer.h"
#include "app/model/Workspace.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// Everything the app model takes from its surroundings. The program passes the
// Qt implementations (makeQtPlatform); tests pass fakes and run without a window.
struct AppPlatform {
    // The process environment, read once at start-up.
    std::map<std::string, std::string> environment;
    std::unique_ptr<Pasteboard> pasteboard;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<NotificationCenter> notifications;
    std::unique_ptr<FilePanels> filePanels;
    std::unique_ptr<ConfirmationAlerts> alerts;
    std::unique_ptr<RepeatingTimer> timer;
    std::unique_ptr<DeferredCalls> deferredCalls;
    std::function<Timestamp()> clock = currentTimestamp;
};

}  // namespace kestrin
