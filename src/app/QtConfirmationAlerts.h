#pragma once

#include "app/ConfirmationAlerts.h"

class QWidget;

namespace kestrin {

// The window's confirmation alert (QtViewDialogs::confirmationBox), modal over
// the given parent window, or over the active window when none was given.
class QtConfirmationAlerts final : public ConfirmationAlerts {
  public:
    explicit QtConfirmationAlerts(QWidget* parent = nullptr) : parent_(parent) {}

    bool confirm(const ConfirmationRequest& request) override;

  private:
    QWidget* parent_;
};

}  // namespace kestrin
