#pragma once

#include <QString>

namespace kestrin {

// A modal warning alert with two buttons, the first one confirming.
struct ConfirmationRequest {
    QString messageText;
    QString informativeText;
    QString confirmButton;
    QString cancelButton;

    bool operator==(const ConfirmationRequest&) const = default;
};

class ConfirmationAlerts {
  public:
    virtual ~ConfirmationAlerts() = default;

    // Shows the alert and waits; true only when the confirming button was chosen.
    virtual bool confirm(const ConfirmationRequest& request) = 0;
};

}  // namespace kestrin
