#pragma once

#include <QStyledItemDelegate>

#include "core/store/TaskRecord.h"

namespace kestrin {

class TaskListModel;

// Draws one row of the task list, top to bottom: the status (symbol and title
// in the status colour) with the receive time at the trailing edge, the item
// title, the reason (up to two lines), and a line with the project, the agent
// and the completed/total steps. Every row has the same height, so a list of
// thousands lays out at once. Hovering the time shows "接收时间".
class TaskRow : public QStyledItemDelegate {
    Q_OBJECT

  public:
    explicit TaskRow(const TaskListModel& rows, QObject* parent = nullptr);

    // The row as one element for assistive technology: item title, status,
    // "项目 " project, "接收时间 " the accessible time, "已完成 " n " 共 " m " 步".
    static QString accessibilityLabel(const TaskRecord& task);
    // The completed/total steps text of the row, "2/4".
    static QString stepProgress(const TaskRecord& task);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

  private:
    struct Geometry;
    Geometry geometry(const QRect& rect, const TaskRecord& task) const;

    const TaskListModel& rows_;
};

}  // namespace kestrin
