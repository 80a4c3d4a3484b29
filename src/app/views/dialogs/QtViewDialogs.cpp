#include "app/views/dialogs/QtViewDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/views/dialogs/AlertBox.h"
#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/CodePanel.h"

namespace kestrin {
namespace {

// QMessageBox guesses whether its informative text is markup; file names and
// error texts from agents must never be read as such.
QString asPlainText(const QString& text) {
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

std::unique_ptr<QMessageBox> messageBox(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& title, const QString& message) {
    std::unique_ptr<QMessageBox> box = std::make_unique<AlertBox>(parent);
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

void QtViewDialogs::showAgentConnections(const std::vector<AgentConnectionGuide::Entry>& entries,
                                         const std::function<void(const QString&)>& copy) {
    QDialog dialog(window_);
    dialog.setObjectName(QStringLiteral("agentConnectionsDialog"));
    dialog.setWindowTitle(QStringLiteral("连接 Agent"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* intro =
        new QLabel(QStringLiteral("把下面的命令或配置加入你的 Agent，它就能通过 MCP 提交回执，"
                                  "并在你交回后自己读取结果。"),
                   &dialog);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    for (const auto& entry : entries) {
        auto* panel = new CodePanel(QString::fromStdString(entry.displayName + " · " + entry.where),
                                    QString::fromStdString(entry.text), &dialog);
        panel->setObjectName(QString::fromStdString("agentConnection-" + entry.agent));
        QObject::connect(panel, &CodePanel::copy, &dialog, copy);
        layout->addWidget(panel);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(720, dialog.sizeHint().height());
    dialog.exec();
}

}  // namespace kestrin
