#include "app/views/HistoryView.h"

#include <QAbstractListModel>
#include <QListView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/model/AppModel.h"
#include "app/views/widgets/ColumnHeader.h"
#include "app/model/DateTexts.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/widgets/ViewPainter.h"

namespace kestrin {
namespace {

using Style = AppAppearance::TextStyle;

QString actionText(const ReceiptHistoryRecord& record) {
    return record.requiresUserAction ? QStringLiteral("含人工事项")
                                     : QStringLiteral("无需人工操作");
}

const char* actionSymbol(const ReceiptHistoryRecord& record) {
    return record.requiresUserAction ? "person.crop.circle.badge.exclamationmark"
                                     : "checkmark.circle";
}

class HistoryRows final : public QAbstractListModel {
  public:
    explicit HistoryRows(AppModel& model, QObject* parent)
        : QAbstractListModel(parent), model_(model) {
        connect(&model_, &AppModel::historyChanged, this, [this] {
            beginResetModel();
            endResetModel();
        });
    }

    const ReceiptHistoryRecord& recordAt(int row) const {
        return model_.history()[std::size_t(row)];
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(model_.history().size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const ReceiptHistoryRecord& record = recordAt(index.row());
        if (role == Qt::DisplayRole) return TextLabels::text(record.projectName);
        if (role == Qt::AccessibleTextRole) {
            return TextLabels::text(record.projectName) + QStringLiteral("，v") +
                   QString::number(record.version) + QStringLiteral("，") +
                   TextLabels::text(record.summary) + QStringLiteral("，") +
                   TextLabels::text(displayName(record.agent)) + QStringLiteral("，") +
                   actionText(record) + QStringLiteral("，") +
                   DateTexts::historyTime(record.importedAt);
        }
        return {};
    }

  private:
    AppModel& model_;
};

class HistoryRow final : public QStyledItemDelegate {
  public:
    HistoryRow(const HistoryRows& rows, QObject* parent)
        : QStyledItemDelegate(parent), rows_(rows) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {240, padding * 2 + lineHeight(Style::headline) + lineHeight(Style::body) * 2 +
                         lineHeight(Style::caption) + gap * 2};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const ReceiptHistoryRecord& record = rows_.recordAt(index.row());
        const QPalette& palette = option.palette;
        const QColor secondary = AppAppearance::color(AppAppearance::Tint::secondary, palette);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        ViewPainter::drawSeparator(painter, option.rect, 14,
                                   AppAppearance::color(AppAppearance::Tint::separator, palette));
        const QRect inner = option.rect.adjusted(14, padding, -14, -padding);

        const QFont headlineFont = AppAppearance::font(Style::headline);
        const QFont captionFont = AppAppearance::font(Style::caption);
        const QFontMetrics headline(headlineFont);
        const QFontMetrics caption(captionFont);
        const QString version = QStringLiteral("v") + QString::number(record.version);
        const int versionWidth = caption.horizontalAdvance(version);
        QRect line(inner.left(), inner.top(), inner.width(), lineHeight(Style::headline));
        painter->setFont(captionFont);
        painter->setPen(secondary);
        painter->drawText(line, Qt::AlignRight | Qt::AlignVCenter, version);
        painter->setFont(headlineFont);
        painter->setPen(palette.color(QPalette::Text));
        painter->drawText(line.adjusted(0, 0, -versionWidth - 8, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          headline.elidedText(TextLabels::text(record.projectName), Qt::ElideRight,
                                              line.width() - versionWidth - 8));

        const QFont bodyFont = AppAppearance::font(Style::body);
        painter->setFont(bodyFont);
        const QRect summary(inner.left(), line.bottom() + 1 + gap, inner.width(),
                            lineHeight(Style::body) * 2);
        ViewPainter::drawWrapped(painter, summary, TextLabels::text(record.summary), 2);

        painter->setFont(captionFont);
        QRect labels(inner.left(), summary.bottom() + 1 + gap, inner.width(),
                     lineHeight(Style::caption));
        int x = labels.left();
        x = ViewPainter::drawLabel(painter, x, labels, "cpu",
                                   TextLabels::text(displayName(record.agent)), secondary,
                                   labels.width() / 3);
        x = ViewPainter::drawLabel(painter, x, labels, actionSymbol(record), actionText(record),
                                   secondary, labels.right() - x);
        painter->setPen(secondary);
        painter->drawText(QRect(x, labels.top(), labels.right() - x, labels.height()),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          DateTexts::historyTime(record.importedAt));
        painter->restore();
    }

  private:
    static constexpr int padding = 10;
    static constexpr int gap = 4;

    static int lineHeight(Style style) {
        return AppAppearance::lineHeight(AppAppearance::font(style));
    }

    const HistoryRows& rows_;
};

}  // namespace

HistoryView::HistoryView(AppModel& model, QWidget* parent)
    : QWidget(parent), list_(new QListView(this)) {
    setObjectName(QStringLiteral("historyView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* header = new ColumnHeader(QStringLiteral("回执历史"), this);
    header->setObjectName(QStringLiteral("historyHeader"));
    layout->addWidget(header);

    auto* rows = new HistoryRows(model, this);
    list_->setObjectName(QStringLiteral("historyList"));
    list_->setAccessibleName(QStringLiteral("回执历史"));
    list_->setModel(rows);
    list_->setItemDelegate(new HistoryRow(*rows, list_));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setUniformItemSizes(true);
    AppAppearance::styleList(list_);
    layout->addWidget(list_, 1);
}

}  // namespace kestrin
