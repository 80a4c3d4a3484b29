#pragma once

#include <QAbstractListModel>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/store/TaskRecord.h"

namespace kestrin {

class AppModel;

// The rows of the task list: the app model's visible tasks, in order. The
// rows point into the app model's task list, so reload() must run whenever
// that list, the sidebar filter or the search text changes. A view with
// closed tasks grows as the list view asks for more (fetchMore).
class TaskListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { TaskKeyRole = Qt::UserRole + 1 };

    explicit TaskListModel(AppModel& model, QObject* parent = nullptr);

    // Takes the app model's visible tasks afresh.
    void reload();

    // The task of `row`; row must be in range.
    const TaskRecord& taskAt(int row) const { return *rows_[std::size_t(row)]; }
    // The row showing `taskKey`, or -1.
    int rowOf(const std::string& taskKey) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // DisplayRole: the item title; AccessibleTextRole: the row's accessibility
    // label (TaskRow::accessibilityLabel); TaskKeyRole: the task key.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void takeRows();

    AppModel& model_;
    std::vector<const TaskRecord*> rows_;
    // Views of the keys in the app model's tasks: valid as long as the rows.
    std::unordered_map<std::string_view, int> rowsByKey_;
};

}  // namespace kestrin
