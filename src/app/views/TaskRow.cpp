#include "app/views/TaskRow.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include "app/views/widgets/AppAppearance.h"
#include "app/model/DateTexts.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/TaskListModel.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/widgets/ViewPainter.h"

namespace kestrin {
namespace {

constexpr int horizontalPadding = 14;
constexpr int verticalPadding = 9;
constexpr int lineGap = 3;
constexpr int labelGap = 12;

using Style = AppAppearance::TextStyle;

}  // namespace

struct TaskRow::Geometry {
    QRect statusLine;
    QRect timeRect;
    QRect title;
    QRect reason;
    QRect labels;
};

TaskRow::TaskRow(const TaskListModel& rows, QObject* parent)
    : QStyledItemDelegate(parent), rows_(rows) {}

QString TaskRow::stepProgress(const TaskRecord& task) {
    return QString::number(task.completedStepCount()) + QLatin1Char('/') +
           QString::number(task.totalStepCount());
}

QString TaskRow::accessibilityLabel(const TaskRecord& task) {
    return TextLabels::text(task.item.title) + QStringLiteral("，") +
           TextLabels::text(displayName(task.status)) + QStringLiteral("，项目 ") +
           TextLabels::text(task.project.name) + QStringLiteral("，接收时间 ") +
           DateTexts::receivedAtAccessibility(task.importedAt) + QStringLiteral("，已完成 ") +
           QString::number(task.completedStepCount()) + QStringLiteral(" 共 ") +
           QString::number(task.totalStepCount()) + QStringLiteral(" 步");
}

TaskRow::Geometry TaskRow::geometry(const QRect& rect, const TaskRecord& task) const {
    const int status = AppAppearance::lineHeight(AppAppearance::font(Style::captionEmphasized));
    const int title = AppAppearance::lineHeight(AppAppearance::font(Style::headline));
    const int reason = AppAppearance::lineHeight(AppAppearance::font(Style::body)) * 2;
    const int labels = AppAppearance::lineHeight(AppAppearance::font(Style::caption));
    const QRect inner =
        rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    Geometry g;
    int y = inner.top();
    g.statusLine = QRect(inner.left(), y, inner.width(), status);
    const int timeWidth = QFontMetrics(AppAppearance::font(Style::caption))
                              .horizontalAdvance(DateTexts::receivedAt(task.importedAt));
    g.timeRect = QRect(inner.right() - timeWidth + 1, y, timeWidth, status);
    y += status + lineGap;
    g.title = QRect(inner.left(), y, inner.width(), title);
    y += title + lineGap;
    g.reason = QRect(inner.left(), y, inner.width(), reason);
    y += reason + lineGap;
    g.labels = QRect(inner.left(), y, inner.width(), labels);
    return g;
}

QSize TaskRow::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    // Every row has the same height: the layout of an empty task.
    const Geometry g = geometry(QRect(0, 0, 240, 0), TaskRecord());
    return {240, g.labels.bottom() + 1 + verticalPadding};
}

void TaskRow::paint(QPainter* painter, const QStyleOptionViewItem& option,
                    const QModelIndex& index) const {
    const TaskRecord& task = rows_.taskAt(index.row());
    const QPalette& palette = option.palette;
    const QColor secondary = AppAppearance::color(AppAppearance::Tint::secondary, palette);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    if (!ViewPainter::drawHighlight(painter, QRectF(option.rect).adjusted(6, 2, -6, -2),
                                    option.state, 8)) {
        ViewPainter::drawSeparator(painter, option.rect, horizontalPadding,
                                   AppAppearance::color(AppAppearance::Tint::separator, palette));
    }

    const Geometry g = geometry(option.rect, task);
    const QColor text = palette.color(QPalette::Text);

    painter->setFont(AppAppearance::font(Style::captionEmphasized));
    ViewPainter::drawLabel(painter, g.statusLine.left(), g.statusLine, systemImage(task.status),
                           TextLabels::text(displayName(task.status)),
                           AppAppearance::color(AppAppearance::statusTint(task.status), palette),
                           g.timeRect.left() - g.statusLine.left() - labelGap);

    painter->setFont(AppAppearance::font(Style::caption));
    painter->setPen(secondary);
    painter->drawText(g.timeRect, Qt::AlignRight | Qt::AlignVCenter,
                      DateTexts::receivedAt(task.importedAt));

    painter->setFont(AppAppearance::font(Style::headline));
    painter->setPen(text);
    painter->drawText(g.title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      painter->fontMetrics().elidedText(TextLabels::text(task.item.title),
                                                        Qt::ElideRight, g.title.width()));

    painter->setFont(AppAppearance::font(Style::body));
    painter->setPen(secondary);
    ViewPainter::drawWrapped(painter, g.reason, TextLabels::text(task.item.reason), 2);

    painter->setFont(AppAppearance::font(Style::caption));
    const int third = g.labels.width() / 3;
    int x = g.labels.left();
    x = ViewPainter::drawLabel(painter, x, g.labels, "folder", TextLabels::text(task.project.name),
                               secondary, qMax(third, g.labels.right() - x - 2 * third));
    x = ViewPainter::drawLabel(painter, x, g.labels, "cpu",
                               TextLabels::text(displayName(task.source.agent)), secondary,
                               g.labels.right() - x - third / 2);
    ViewPainter::drawLabel(painter, x, g.labels, "checklist", stepProgress(task), secondary,
                           g.labels.right() - x);
    painter->restore();
}

bool TaskRow::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                        const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip && index.isValid()) {
        const Geometry g = geometry(option.rect, rows_.taskAt(index.row()));
        if (g.timeRect.contains(event->pos())) {
            QToolTip::showText(event->globalPos(), QStringLiteral("接收时间"), view, g.timeRect);
            return true;
        }
        QToolTip::hideText();
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

}  // namespace kestrin
