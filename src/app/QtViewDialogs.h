#pragma once

#include <QPointer>
#include <QWidget>

#include "app/ViewDialogs.h"

namespace kestrin {

// The view dialogs as QMessageBox and QFileDialog, window-modal over the
// window given with setWindow().
class QtViewDialogs final : public ViewDialogs {
  public:
    void setWindow(QWidget* window) { window_ = window; }

    void showNotice(const QString& title, const QString& message) override;
    bool confirmDestructive(const ConfirmationRequest& request) override;
    Result<std::vector<std::filesystem::path>, QString> chooseReceiptFiles() override;

  private:
    QPointer<QWidget> window_;
};

}  // namespace kestrin
