#include "app/views/MainWindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/model/AppModel.h"
#include "app/views/widgets/ColumnHeader.h"
#include "app/views/dialogs/DataCommandProgressDialog.h"
#include "app/views/EmptyStatePanel.h"
#include "app/views/HistoryView.h"
#include "app/model/PlatformTexts.h"
#include "app/views/ScenePhaseMonitor.h"
#include "app/views/SidebarView.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/TaskDetailView.h"
#include "app/views/TaskListView.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/dialogs/ViewDialogs.h"

namespace kestrin {
namespace {

// Column widths: the sidebar between 210 and 290 (230 at first), the middle
// column at least 340 for tasks and 360 for the history (410 at first).
constexpr int sidebarMinimumWidth = 210;
constexpr int sidebarIdealWidth = 230;
constexpr int sidebarMaximumWidth = 290;
constexpr int taskListMinimumWidth = 340;
constexpr int taskListIdealWidth = 410;
constexpr int historyMinimumWidth = 360;
constexpr int detailMinimumWidth = 380;

}  // namespace

MainWindow::MainWindow(AppModel& model, ViewDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      model_(model),
      dialogs_(dialogs),
      splitter_(new QSplitter(Qt::Horizontal, this)),
      sidebar_(nullptr),
      middle_(new QStackedWidget(splitter_)),
      taskList_(new TaskListView(model, dialogs, middle_)),
      history_(new HistoryView(model, middle_)),
      detailStack_(new QStackedWidget(splitter_)),
      emptyDetail_(EmptyStatePanel::emptyDetail(detailStack_)),
      historyHelp_(EmptyStatePanel::historyHelp(detailStack_)),
      scenePhase_(new ScenePhaseMonitor(model, *this, this)),
      progress_(new DataCommandProgressDialog(this)) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(model.windowTitle());
    setWindowIcon(SymbolIcons::applicationIcon());
    resize(defaultSize);

    splitter_->setObjectName(QStringLiteral("columns"));
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(1);
    splitter_->setStyleSheet(QStringLiteral("QSplitter::handle { background: %1; }")
                                 .arg(AppAppearance::color(AppAppearance::Tint::separator).name()));
    splitter_->addWidget(buildSidebarColumn());
    splitter_->addWidget(middle_);
    splitter_->addWidget(detailStack_);
    middle_->setObjectName(QStringLiteral("middleColumn"));
    middle_->addWidget(taskList_);
    middle_->addWidget(history_);
    detailStack_->setObjectName(QStringLiteral("detailColumn"));
    detailStack_->setMinimumWidth(detailMinimumWidth);
    detailStack_->addWidget(emptyDetail_);
    detailStack_->addWidget(historyHelp_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 0);
    splitter_->setStretchFactor(2, 1);
    splitter_->setSizes({sidebarIdealWidth, taskListIdealWidth,
                         defaultSize.width() - sidebarIdealWidth - taskListIdealWidth});
    splitter_->setMinimumSize(minimumContentSize);
    setCentralWidget(splitter_);

    buildMenus();

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        if (!model_.selection().isHistory()) taskList_->focusSearch();
    });

    for (auto signal :
         {&AppModel::selectionChanged, &AppModel::tasksChanged, &AppModel::selectedTaskKeyChanged,
          &AppModel::selectedTaskKeysChanged, &AppModel::searchTextChanged}) {
        connect(&model_, signal, this, [this] { updateColumns(); });
    }
    connect(
        &model_, &AppModel::noticeChanged, this, [this] { showNotices(); }, Qt::QueuedConnection);
    connect(
        &model_, &AppModel::isShowingImporterChanged, this, [this] { showImporter(); },
        Qt::QueuedConnection);
    connect(&model_, &AppModel::dataCommandProgressChanged, this,
            [this](const DataCommandProgress& progress) { progress_->showProgress(progress); });

    updateColumns();
    // A notice from start-up (the store could not be opened) waits for the window.
    QMetaObject::invokeMethod(
        this, [this] { showNotices(); }, Qt::QueuedConnection);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildSidebarColumn() {
    auto* column = new QWidget(splitter_);
    column->setObjectName(QStringLiteral("sidebarColumn"));
    column->setMinimumWidth(sidebarMinimumWidth);
    column->setMaximumWidth(sidebarMaximumWidth);
    column->setAutoFillBackground(true);
    QPalette background = column->palette();
    background.setColor(QPalette::Window, AppAppearance::sidebarColor(column->palette()));
    column->setPalette(background);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new ColumnHeader(QStringLiteral("Velmora"), column);
    header->setObjectName(QStringLiteral("sidebarHeader"));
    buildActionMenu();
    header->addItem(actionMenuButton_);
    layout->addWidget(header);

    sidebar_ = new SidebarView(model_, column);
    layout->addWidget(sidebar_, 1);
    return column;
}

QString MainWindow::actionMenuHelp() const {
    const auto& paths = model_.paths();
    return QStringLiteral("当前：") + TextLabels::text(displayName(model_.dataEnvironment())) +
           QLatin1Char('\n') +
           (paths ? QString::fromStdString(paths->root().string())
                  : QStringLiteral("任务库尚未连接"));
}

void MainWindow::buildActionMenu() {
    actionMenu_ = new QMenu(QStringLiteral("恢复入口"), this);
    actionMenu_->setObjectName(QStringLiteral("actionMenu"));
    const auto add = [this](std::string_view symbol, const QString& title, auto&& action) {
        QAction* item = actionMenu_->addAction(SymbolIcons::icon(symbol), title);
        connect(item, &QAction::triggered, this, action);
        return item;
    };
    add("doc.badge.plus", QStringLiteral("导入 JSON 文件…"),
        [this] { model_.setShowingImporter(true); });
    add("doc.on.clipboard", QStringLiteral("从剪贴板导入 JSON"),
        [this] { model_.importFromPasteboard(); });
    actionMenu_->addSeparator();
    add("arrow.clockwise", QStringLiteral("扫描恢复收件箱"), [this] { model_.scanInbox(false); });
    add("folder", QStringLiteral("打开恢复收件箱"), [this] { model_.openInbox(); });
    add("externaldrive",
        QStringLiteral("在 ") + PlatformTexts::fileManager() + QStringLiteral(" 中显示当前任务库"),
        [this] { model_.openDataDirectory(); });
    actionMenu_->addSeparator();
    add("square.and.arrow.up", QStringLiteral("导出数据归档…"), [this] { model_.exportArchive(); });
    add("square.and.arrow.down", QStringLiteral("从数据归档恢复…"),
        [this] { model_.restoreArchive(); });
    add("externaldrive.badge.plus", QStringLiteral("创建数据库备份"),
        [this] { model_.createDatabaseBackup(); });
    add("externaldrive.badge.timemachine", QStringLiteral("从数据库备份恢复…"),
        [this] { model_.restoreDatabaseBackup(); });
    actionMenu_->addSeparator();
    add("clock.arrow.circlepath", QStringLiteral("查看回执历史"),
        [this] { model_.setSelection(SidebarSelection::history()); });

    actionMenuButton_ = new QToolButton(this);
    actionMenuButton_->setObjectName(QStringLiteral("actionMenuButton"));
    actionMenuButton_->setText(QStringLiteral("恢复入口"));
    actionMenuButton_->setIcon(SymbolIcons::icon("ellipsis.circle"));
    actionMenuButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    actionMenuButton_->setPopupMode(QToolButton::InstantPopup);
    actionMenuButton_->setAutoRaise(true);
    actionMenuButton_->setMenu(actionMenu_);
    actionMenuButton_->setToolTip(actionMenuHelp());
    actionMenuButton_->setAccessibleName(QStringLiteral("恢复入口"));
    actionMenuButton_->setAccessibleDescription(actionMenuHelp());
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
    file->setObjectName(QStringLiteral("fileMenu"));
    QAction* import = file->addAction(QStringLiteral("恢复入口：导入 JSON…"));
    import->setObjectName(QStringLiteral("importCommand"));
    // Ctrl stands for Command on macOS.
    import->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(import, &QAction::triggered, this, [this] { model_.setShowingImporter(true); });
    QAction* paste = file->addAction(QStringLiteral("恢复入口：从剪贴板导入 JSON"));
    paste->setObjectName(QStringLiteral("pasteCommand"));
    paste->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    connect(paste, &QAction::triggered, this, [this] { model_.importFromPasteboard(); });
    file->addSeparator();
    QAction* scan = file->addAction(QStringLiteral("恢复入口：扫描收件箱"));
    scan->setObjectName(QStringLiteral("scanCommand"));
    scan->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(scan, &QAction::triggered, this, [this] { model_.scanInbox(false); });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("退出 Velmora"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &QMainWindow::close);
}

void MainWindow::updateColumns() {
    const bool history = model_.selection().isHistory();
    middle_->setCurrentWidget(history ? static_cast<QWidget*>(history_) : taskList_);
    middle_->setMinimumWidth(history ? historyMinimumWidth : taskListMinimumWidth);
    updateDetail();
}

void MainWindow::updateDetail() {
    // selectedTask() may pick the first visible task and announce it, which
    // comes back here.
    if (updatingDetail_) return;
    updatingDetail_ = true;
    std::optional<TaskRecord> task;
    if (!model_.selection().isHistory()) task = model_.selectedTask();
    if (detail_ != nullptr && (!task || task->taskKey != detail_->taskKey())) {
        // The pane of the previous task goes once the current event is over:
        // one of its own buttons may have started this.
        detailStack_->removeWidget(detail_);
        detail_->hide();
        detail_->deleteLater();
        detail_ = nullptr;
    }
    if (model_.selection().isHistory()) {
        detailStack_->setCurrentWidget(historyHelp_);
    } else if (!task) {
        detailStack_->setCurrentWidget(emptyDetail_);
    } else if (detail_ != nullptr) {
        detail_->setTask(*task);
    } else {
        detail_ = new TaskDetailView(model_, dialogs_, *task, detailStack_);
        detailStack_->addWidget(detail_);
        detailStack_->setCurrentWidget(detail_);
    }
    updatingDetail_ = false;
}

void MainWindow::showNotices() {
    // A notice set while the alert is up shows once it is dismissed.
    if (showingNotice_) return;
    showingNotice_ = true;
    while (model_.notice()) {
        const AppNotice shown = *model_.notice();
        dialogs_.showNotice(shown.title, shown.message);
        if (model_.notice() && model_.notice()->id == shown.id) model_.dismissNotice();
    }
    showingNotice_ = false;
}

void MainWindow::showImporter() {
    if (!model_.isShowingImporter()) return;
    auto chosen = dialogs_.chooseReceiptFiles();
    model_.setShowingImporter(false);
    if (!chosen) {
        model_.showNotice(QStringLiteral("没有导入文件"), chosen.error());
        return;
    }
    if (!chosen->empty()) model_.importFiles(*chosen);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    model_.startWatching();
}

}  // namespace kestrin
