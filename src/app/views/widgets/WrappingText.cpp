#include "app/views/widgets/WrappingText.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

namespace kestrin {

WrappingText::WrappingText(const QString& text, QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    setPlainText(text);
    setFrameShape(QFrame::NoFrame);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Selectable with the mouse, but not a stop of the Tab key.
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    document()->setDocumentMargin(0);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            [this] { updateGeometry(); });
}

void WrappingText::setTextColor(const QColor& color) {
    // The style sheet that makes the background transparent would override a
    // palette colour, so the colour goes into it too.
    setStyleSheet(
        QStringLiteral("QTextEdit { background: transparent; color: %1; }").arg(color.name()));
}

int WrappingText::heightForWidth(int width) const {
    std::unique_ptr<QTextDocument> copy(document()->clone());
    copy->setTextWidth(qMax(1, width - 2 * frameWidth()));
    return qMax(int(copy->size().height() + 0.5), fontMetrics().height()) + 2 * frameWidth();
}

QSize WrappingText::sizeHint() const {
    const int width = qMax(this->width(), 120);
    return {width, heightForWidth(width)};
}

QSize WrappingText::minimumSizeHint() const {
    return {40, heightForWidth(width())};
}

void WrappingText::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    if (height() != heightForWidth(width())) updateGeometry();
}

}  // namespace kestrin
