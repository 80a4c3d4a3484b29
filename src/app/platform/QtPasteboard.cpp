#include "app/platform/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace kestrin {

std::optional<QString> QtPasteboard::readString() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    // text() is empty both for "no text" and for an empty text; only the
    // first is "nothing to import".
    if (data == nullptr || !data->hasText()) return std::nullopt;
    return data->text();
}

void QtPasteboard::writeString(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

}  // namespace kestrin
