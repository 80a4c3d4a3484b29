#include "app/views/SidebarRow.h"

#include <QPainter>

#include "app/views/widgets/AppAppearance.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/ViewPainter.h"

namespace kestrin {

QString SidebarRow::accessibilityLabel(const QString& title, qsizetype count) {
    return title + QStringLiteral("，") + QString::number(count) + QStringLiteral(" 项");
}

QSize SidebarRow::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.data(IsSectionRole).toBool()) {
        const QFontMetrics metrics(
            AppAppearance::font(AppAppearance::TextStyle::captionEmphasized));
        return {option.rect.width(), metrics.height() + 14};
    }
    const QFontMetrics metrics(AppAppearance::font(AppAppearance::TextStyle::body));
    return {option.rect.width(), metrics.height() + 12};
}

void SidebarRow::paint(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    const QPalette& palette = option.palette;
    const QColor secondary = AppAppearance::color(AppAppearance::Tint::secondary, palette);
    const QString title = index.data(Qt::DisplayRole).toString();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (index.data(IsSectionRole).toBool()) {
        painter->setFont(AppAppearance::font(AppAppearance::TextStyle::captionEmphasized));
        painter->setPen(secondary);
        painter->drawText(option.rect.adjusted(12, 0, -10, -3), Qt::AlignLeft | Qt::AlignBottom,
                          title);
        painter->restore();
        return;
    }

    ViewPainter::drawHighlight(painter, QRectF(option.rect).adjusted(6, 1, -6, -1), option.state,
                               6);

    const QFont font = AppAppearance::font(AppAppearance::TextStyle::body);
    const QFontMetrics metrics(font);
    const int side = metrics.height();
    const QRect inner = option.rect.adjusted(14, 0, -14, 0);
    const QRect symbolRect(inner.left(), inner.top() + (inner.height() - side) / 2, side, side);
    const QString symbol = index.data(SymbolRole).toString();
    SymbolIcons::icon(symbol.toStdString(), AppAppearance::accent())
        .paint(painter, symbolRect.adjusted(1, 1, -1, -1));

    const QString count = QString::number(index.data(CountRole).toLongLong());
    QFont countFont = font;
    countFont.setPointSizeF(font.pointSizeF() * 0.92);
    const QFontMetrics countMetrics(countFont);
    const int countWidth = countMetrics.horizontalAdvance(count);
    const QRect countRect(inner.right() - countWidth + 1, inner.top(), countWidth, inner.height());
    painter->setFont(countFont);
    painter->setPen(secondary);
    painter->drawText(countRect, Qt::AlignRight | Qt::AlignVCenter, count);

    const QRect titleRect(symbolRect.right() + 9, inner.top(),
                          countRect.left() - symbolRect.right() - 17, inner.height());
    painter->setFont(font);
    painter->setPen(palette.color(QPalette::Text));
    painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      metrics.elidedText(title, Qt::ElideRight, titleRect.width()));
    painter->restore();
}

}  // namespace kestrin
