#include "app/QtViewDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "app/AppAppearance.h"

namespace kestrin {

void QtViewDialogs::showNotice(const QString& title, const QString& message) {
    QMessageBox box(window_);
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(title);
    box.setText(title);
    box.setInformativeText(message);
    box.setTextFormat(Qt::PlainText);
    box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

bool QtViewDialogs::confirmDestructive(const ConfirmationRequest& request) {
    QMessageBox box(window_);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(request.messageText);
    box.setText(request.messageText);
    box.setInformativeText(request.informativeText);
    box.setTextFormat(Qt::PlainText);
    QPushButton* confirm = box.addButton(request.confirmButton, QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(request.cancelButton, QMessageBox::RejectRole);
    AppAppearance::styleButton(confirm, AppAppearance::ButtonStyle::prominent,
                               AppAppearance::Tint::red);
    // The safe answer is the default, so that Return never destroys anything.
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.setWindowModality(Qt::WindowModal);
    box.exec();
    return box.clickedButton() == confirm;
}

Result<std::vector<std::filesystem::path>, QString> QtViewDialogs::chooseReceiptFiles() {
    QFileDialog dialog(window_, QStringLiteral("导入 JSON 文件"), QDir::homePath(),
                       QStringLiteral("JSON (*.json)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    std::vector<std::filesystem::path> files;
    if (dialog.exec() != QDialog::Accepted) return files;
    for (const QString& file : dialog.selectedFiles()) {
        files.emplace_back(QFile::encodeName(file).toStdString());
    }
    return files;
}

}  // namespace kestrin
