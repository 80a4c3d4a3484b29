#include "app/platform/QtFilePanels.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

namespace kestrin {

QWidget* QtFilePanels::dialogParent() const {
    return parent_ != nullptr ? parent_ : QApplication::activeWindow();
}

QString QtFilePanels::nameFilter(PanelFileType type) {
    switch (type) {
        case PanelFileType::json:
            return QStringLiteral("JSON (*.json)");
        case PanelFileType::sqliteDatabase:
            return QStringLiteral("SQLite (*.sqlite)");
    }
    return {};
}

std::optional<QString> QtFilePanels::chooseSaveLocation(const SavePanelRequest& request) {
    QFileDialog dialog(dialogParent(), request.title, QDir::homePath(),
                       nameFilter(request.allowedType));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(request.proposedName);
    if (request.allowedType == PanelFileType::json) dialog.setDefaultSuffix(QStringLiteral("json"));
    // The model refuses an existing file itself, with its own notice.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateDirectories);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtFilePanels::chooseFileToOpen(const OpenPanelRequest& request) {
    QFileDialog dialog(dialogParent(), request.title, QDir::homePath(),
                       nameFilter(request.allowedType));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

}  // namespace kestrin
