#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "app/views/dialogs/ViewDialogs.h"

class QMessageBox;

namespace kestrin {

// The view dialogs as QMessageBox and QFileDialog, window-modal over the
// window given with setWindow().
class QtViewDialogs final : public ViewDialogs {
public:
    // The alerts, ready to run: a notice with the single button "知道了", and a
    // warning whose confirming button is red and whose default is the cancel
    // button. Every text is shown as plain text.
    static std::unique_ptr<QMessageBox> noticeBox(QWidget* parent, const QString& title,
                                                  const QString& message);
    static std::unique_ptr<QMessageBox> confirmationBox(QWidget* parent,
                                                        const ConfirmationRequest& request);

    void setWindow(QWidget* window) { window_ = window; }

    void showNotice(const QString& title, const QString& message) override;
    bool confirmDestructive(const ConfirmationRequest& request) override;
    Result<std::vector<std::filesystem::path>, QString> chooseReceiptFiles() override;

private:
    QPointer<QWidget> window_;
};

}  // namespace kestrin
