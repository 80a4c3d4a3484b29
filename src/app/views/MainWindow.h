#pragma once

#include <QMainWindow>

class QAction;
class QMenu;
class QSplitter;
class QStackedWidget;
class QToolButton;

namespace kestrin {

class AppModel;
class DataCommandProgressDialog;
class EmptyStatePanel;
class HistoryView;
class ScenePhaseMonitor;
class SidebarView;
class TaskDetailView;
class TaskListView;
class ViewDialogs;

// The program's single window: the sidebar, the middle column (the task list,
// or the receipt history) and the detail pane (the selected task, the history
// help, or an empty panel); the File menu's three receipt commands; the
// window's action menu "恢复入口"; the alert that shows the model's notices;
// the receipt-file open panel; the progress of archive commands; and the
// pause of scans while the program is in the background.
//
// The model must outlive the window. Dialogs open after the model operation
// that asked for them has returned, never inside it.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr QSize defaultSize{1280, 820};
    static constexpr QSize minimumContentSize{940, 640};

    MainWindow(AppModel& model, ViewDialogs& dialogs, QWidget* parent = nullptr);
    ~MainWindow() override;

    SidebarView* sidebar() const { return sidebar_; }
    TaskListView* taskList() const { return taskList_; }
    HistoryView* historyView() const { return history_; }
    // The pane for the selected task; nullptr while none is shown.
    TaskDetailView* detailView() const { return detail_; }
    QStackedWidget* middleColumn() const { return middle_; }
    QStackedWidget* detailColumn() const { return detailStack_; }
    QMenu* actionMenu() const { return actionMenu_; }
    QToolButton* actionMenuButton() const { return actionMenuButton_; }
    ScenePhaseMonitor* scenePhase() const { return scenePhase_; }
    DataCommandProgressDialog* progressDialog() const { return progress_; }

    // The help text of the action menu: "当前：" + environment + line break +
    // data directory (or "任务库尚未连接").
    QString actionMenuHelp() const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void buildMenus();
    QWidget* buildSidebarColumn();
    void buildActionMenu();
    void updateColumns();
    void updateDetail();
    void showNotices();
    void showImporter();

    AppModel& model_;
    ViewDialogs& dialogs_;
    QSplitter* splitter_;
    SidebarView* sidebar_;
    QStackedWidget* middle_;
    TaskListView* taskList_;
    HistoryView* history_;
    QStackedWidget* detailStack_;
    EmptyStatePanel* emptyDetail_;
    EmptyStatePanel* historyHelp_;
    TaskDetailView* detail_ = nullptr;
    QMenu* actionMenu_ = nullptr;
    QToolButton* actionMenuButton_ = nullptr;
    ScenePhaseMonitor* scenePhase_;
    DataCommandProgressDialog* progress_;
    bool updatingDetail_ = false;
    bool showingNotice_ = false;
};

}  // namespace kestrin
