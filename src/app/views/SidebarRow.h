#pragma once

#include <QStyledItemDelegate>

namespace kestrin {

// Draws the sidebar's rows: a section title in small secondary letters, or a
// filter row with its symbol in the accent colour, its title on one line and
// its count at the trailing edge in secondary digits.
class SidebarRow : public QStyledItemDelegate {
    Q_OBJECT

  public:
    enum Role {
        SymbolRole = Qt::UserRole + 1,  // QString symbol name of a filter row
        CountRole,                      // int count of a filter row
        IsSectionRole,                  // bool: a section title
    };

    using QStyledItemDelegate::QStyledItemDelegate;

    // A filter row for assistive technology: title + "，" + count + " 项".
    static QString accessibilityLabel(const QString& title, qsizetype count);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace kestrin
