#include "app/QtConfirmationAlerts.h"

#include <QApplication>
#include <QMessageBox>

#include "app/QtViewDialogs.h"

namespace kestrin {

bool QtConfirmationAlerts::confirm(const ConfirmationRequest& request) {
    // The same alert as the window's own confirmations: a restore replaces
    // data, so its confirming button is the red one and not the default.
    const auto box = QtViewDialogs::confirmationBox(
        parent_ != nullptr ? parent_ : QApplication::activeWindow(), request);
    box->exec();
    return box->buttonRole(box->clickedButton()) == QMessageBox::DestructiveRole;
}

}  // namespace kestrin
