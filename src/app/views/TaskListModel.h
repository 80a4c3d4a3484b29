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
// closed tasks grows as the list view asks for more (fetchMore), a page at a
// time; a search that finds little in one stretch of rows reads on from the
// event loop until it has that page or the history ends.
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
    // Reads the app model's next stretch and appends what it found.
    void readOn();
    // Reads on from the event loop while fewer rows than wanted are shown.
    void continueReading();

    AppModel& model_;
    // Rows to read up to without the list view asking: a page after a reload,
    // one more page each time the view asks.
    int rowsWanted_ = 0;
    bool readingScheduled_ = false;
    std::vector<const TaskRecord*> rows_;
    // Views of the keys in the app model's tasks: valid as long as the rows.
    std::unordered_map<std::string_view, int> rowsByKey_;
};

}  // namespace kestrin
