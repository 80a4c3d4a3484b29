#pragma once

#include <QString>
#include <QWidget>

#include "app/model/SidebarSelection.h"

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStackedWidget;

namespace kestrin {

class AppModel;
class EmptyStatePanel;
class SymbolLabel;
class TaskListModel;
class ViewDialogs;

// The middle column: the selection's title, the search field, and the list of
// visible tasks (or an empty-state panel), with multiple selection and the
// delete item and its confirmation. Reads the app model and calls its
// operations; the list's selection is the model's selectedTaskKeys.
class TaskListView : public QWidget {
    Q_OBJECT

  public:
    TaskListView(AppModel& model, ViewDialogs& dialogs, QWidget* parent = nullptr);

    // The column title for a sidebar selection: "现在处理", "全部事项",
    // "回执历史", the project name or the status display name.
    static QString title(const SidebarSelection& selection);

    QListView* listView() const { return list_; }
    TaskListModel* rows() const { return rows_; }

    // Moves the keyboard focus to the search field.
    void focusSearch();

  private:
    void reloadRows();
    void showSelectionFromModel();
    void takeSelectionFromView();
    void updateEmptyState();
    void updateDeleteItem();
    void requestDelete();
    void confirmDelete();

    AppModel& model_;
    ViewDialogs& dialogs_;
    QLabel* title_;
    SymbolLabel* multiSelectHint_;
    QPushButton* deleteButton_;
    QLineEdit* search_;
    QStackedWidget* stack_;
    EmptyStatePanel* empty_;
    QListView* list_;
    TaskListModel* rows_;
    bool syncingSelection_ = false;
};

}  // namespace kestrin
