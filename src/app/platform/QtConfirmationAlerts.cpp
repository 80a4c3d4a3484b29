#include "app/platform/QtConfirmationAlerts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kestrin {

bool QtConfirmationAlerts::confirm(const ConfirmationRequest& request) {
    QMessageBox box(parent_ != nullptr ? parent_ : QApplication::activeWindow());
    box.setIcon(QMessageBox::Warning);
    box.setText(request.messageText);
    box.setInformativeText(request.informativeText);
    QPushButton* confirmButton = box.addButton(request.confirmButton, QMessageBox::AcceptRole);
    QPushButton* cancelButton = box.addButton(request.cancelButton, QMessageBox::RejectRole);
    box.setDefaultButton(cancelButton);
    box.setEscapeButton(cancelButton);
    box.exec();
    return box.clickedButton() == confirmButton;
}

}  // namespace kestrin
