#pragma once

#include "app/model/ConfirmationAlerts.h"
#include "app/views/dialogs/ViewDialogs.h"

namespace kestrin {

// The model's confirmations (the restores) shown as the window's own
// destructive confirmations, so every alert of the program looks alike.
// `dialogs` must outlive this object.
class ViewConfirmationAlerts final : public ConfirmationAlerts {
  public:
    explicit ViewConfirmationAlerts(ViewDialogs& dialogs) : dialogs_(dialogs) {}

    bool confirm(const ConfirmationRequest& request) override {
        return dialogs_.confirmDestructive(request);
    }

  private:
    ViewDialogs& dialogs_;
};

}  // namespace kestrin
