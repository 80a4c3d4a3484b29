#include "app/views/TaskListModel.h"

#include <QTimer>
#include <algorithm>

#include "app/model/AppModel.h"
#include "app/views/TaskRow.h"

namespace kestrin {

TaskListModel::TaskListModel(AppModel& model, QObject* parent)
    : QAbstractListModel(parent), model_(model) {
    reload();
}

void TaskListModel::reload() {
    beginResetModel();
    takeRows();
    endResetModel();
    rowsWanted_ = int(AppModel::pageSize);
    continueReading();
}

void TaskListModel::continueReading() {
    if (readingScheduled_ || rowCount() >= rowsWanted_ || !model_.canFetchMoreTasks()) return;
    // The next stretch runs once the events waiting now (the next keystroke)
    // have been handled; after a new search it reads on from that search.
    readingScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        readingScheduled_ = false;
        readOn();
    });
}

void TaskListModel::takeRows() {
    rows_ = model_.visibleTasks();
    rowsByKey_.clear();
    rowsByKey_.reserve(rows_.size());
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        rowsByKey_.emplace(std::string_view(rows_[row]->taskKey), int(row));
    }
}

bool TaskListModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && model_.canFetchMoreTasks();
}

void TaskListModel::fetchMore(const QModelIndex& parent) {
    if (parent.isValid()) return;
    rowsWanted_ = std::max(rowsWanted_, rowCount() + int(AppModel::pageSize));
    readOn();
}

void TaskListModel::readOn() {
    // Reading more only appends, and the rows already taken stay valid.
    const int before = rowCount();
    model_.fetchMoreTasks();
    const int after = int(model_.visibleTasks().size());
    if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        takeRows();
        endInsertRows();
    }
    continueReading();
}

int TaskListModel::rowOf(const std::string& taskKey) const {
    auto found = rowsByKey_.find(taskKey);
    return found == rowsByKey_.end() ? -1 : found->second;
}

int TaskListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const TaskRecord& task = taskAt(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(task.item.title);
        case Qt::AccessibleTextRole:
            return TaskRow::accessibilityLabel(task);
        case TaskKeyRole:
            return QString::fromStdString(task.taskKey);
        default:
            return {};
    }
}

}  // namespace kestrin
