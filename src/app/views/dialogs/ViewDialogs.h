#pragma once

#include <QString>
#include <filesystem>
#include <vector>

#include "app/model/ConfirmationAlerts.h"
#include "core/support/Result.h"

namespace kestrin {

// The modal dialogs the window's views open. The program uses QtViewDialogs;
// tests stub them to answer at once and record what was asked.
class ViewDialogs {
  public:
    virtual ~ViewDialogs() = default;

    // Shows one notice with the single button "知道了" and waits until the
    // user dismisses it.
    virtual void showNotice(const QString& title, const QString& message) = 0;

    // A confirmation whose confirming button destroys or closes something.
    // True only when that button was chosen.
    virtual bool confirmDestructive(const ConfirmationRequest& request) = 0;

    // The receipt files the user chose in an open panel (JSON files, several
    // allowed); an empty list when the panel was cancelled, the panel's error
    // text when it failed.
    virtual Result<std::vector<std::filesystem::path>, QString> chooseReceiptFiles() = 0;
};

}  // namespace kestrin
