#include "app/views/widgets/ColumnHeader.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "app/views/widgets/AppAppearance.h"

namespace kestrin {

ColumnHeader::ColumnHeader(const QString& title, QWidget* parent)
    : QWidget(parent), title_(new QLabel(title, this)), layout_(new QHBoxLayout(this)) {
    setFixedHeight(barHeight);
    layout_->setContentsMargins(16, 0, 12, 1);
    layout_->setSpacing(8);
    title_->setFont(AppAppearance::font(AppAppearance::TextStyle::title3));
    title_->setTextFormat(Qt::PlainText);
    // A long title gives way to the toolbar items.
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    title_->setMinimumWidth(40);
    title_->setAccessibleName(title);
    layout_->addWidget(title_, 1);
    // Menu buttons here are pull-downs by their symbols; Fusion's arrow under
    // the text would only crowd the bar.
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
}

void ColumnHeader::setTitle(const QString& title) {
    title_->setText(title);
    title_->setAccessibleName(title);
    title_->setToolTip(title);
}

QString ColumnHeader::title() const {
    return title_->text();
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
