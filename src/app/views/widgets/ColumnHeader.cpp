#include "app/views/widgets/ColumnHeader.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "app/views/widgets/AppAppearance.h"

namespace kestrin {

ColumnHeader::ColumnHeader(const QString& title, QWidget* parent)
    : QWidget(parent), title_(new QLabel(this)), layout_(new QHBoxLayout(this)) {
    setFixedHeight(barHeight);
    layout_->setContentsMargins(16, 0, 12, 1);
    layout_->setSpacing(8);
    title_->setFont(AppAppearance::font(AppAppearance::TextStyle::title3));
    title_->setTextFormat(Qt::PlainText);
    // A long title gives way to the toolbar items.
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    title_->setMinimumWidth(40);
    title_->installEventFilter(this);
    layout_->addWidget(title_, 1);
    setTitle(title);
    // Menu buttons here are pull-downs by their symbols; Fusion's arrow under
    // the text would only crowd the bar.
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
}

void ColumnHeader::setTitle(const QString& title) {
    fullTitle_ = title;
    title_->setAccessibleName(title);
    title_->setToolTip(title);
    elideTitle();
}

void ColumnHeader::elideTitle() {
    // Until the label is shown its width is not the one it will have.
    if (!title_->isVisible()) {
        title_->setText(fullTitle_);
        return;
    }
    title_->setText(title_->fontMetrics().elidedText(fullTitle_, Qt::ElideRight,
                                                      title_->contentsRect().width()));
}

bool ColumnHeader::eventFilter(QObject* watched, QEvent* event) {
    if (watched == title_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        elideTitle();
    }
    return QWidget::eventFilter(watched, event);
}

void ColumnHeader::addItem(QWidget* item) {
    layout_->addWidget(item, 0, Qt::AlignVCenter);
}

void ColumnHeader::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(AppAppearance::color(AppAppearance::Tint::separator, palette()));
    painter.drawLine(0, barHeight - 1, width(), barHeight - 1);
}

}  // namespace kestrin
