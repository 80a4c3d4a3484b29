#pragma once

#include "app/model/ConfirmationAlerts.h"

class QWidget;

namespace kestrin {

// A modal QMessageBox warning over the given parent window, or over the
// active window when none was given.
class QtConfirmationAlerts final : public ConfirmationAlerts {
  public:
    explicit QtConfirmationAlerts(QWidget* parent = nullptr) : parent_(parent) {}

    bool confirm(const ConfirmationRequest& request) override;

  private:
    QWidget* parent_;
};

}  // namespace kestrin
