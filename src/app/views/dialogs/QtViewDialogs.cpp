#include "app/views/dialogs/QtViewDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>

#include "app/views/widgets/AppAppearance.h"

namespace kestrin {
namespace {

// QMessageBox guesses whether its informative text is markup; file names and
// error texts from agents must never be read as such.
QString asPlainText(const QString& text) {
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

std::unique_ptr<QMessageBox> messageBox(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& title, const QString& message) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setIcon(icon);
    box->setWindowTitle(title);
    box->setText(title);
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(asPlainText(message));
    box->setWindowModality(Qt::WindowModal);
    // Chinese text offers a break between any two characters: without a
    // minimum the box wraps it into a narrow column.
    box->setStyleSheet(
        QStringLiteral("QLabel#qt_msgbox_label { font-weight: 600; min-width: 360px; }"
                       "QLabel#qt_msgbox_informativelabel { min-width: 360px; }"));
    return box;
}

}  // namespace

std::unique_ptr<QMessageBox> QtViewDialogs::noticeBox(QWidget* parent, const QString& title,
                                                      const QString& message) {
    auto box = messageBox(parent, QMessageBox::Information, title, message);
    box->addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
    return box;
}

std::unique_ptr<QMessageBox> QtViewDialogs::confirmationBox(QWidget* parent,
                                                            const ConfirmationRequest& request) {
    auto box =
        messageBox(parent, QMessageBox::Warning, request.messageText, request.informativeText);
    QPushButton* confirm = box->addButton(request.confirmButton, QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(request.cancelButton, QMessageBox::RejectRole);
    AppAppearance::styleButton(confirm, AppAppearance::ButtonStyle::prominent,
                               AppAppearance::Tint::red);
    AppAppearance::styleButton(cancel, AppAppearance::ButtonStyle::bordered);
    // The safe answer is the default, so that Return never destroys anything.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return box;
}

void QtViewDialogs::showNotice(const QString& title, const QString& message) {
    noticeBox(window_, title, message)->exec();
}

bool QtViewDialogs::confirmDestructive(const ConfirmationRequest& request) {
    const auto box = confirmationBox(window_, request);
    box->exec();
    return box->buttonRole(box->clickedButton()) == QMessageBox::DestructiveRole;
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
