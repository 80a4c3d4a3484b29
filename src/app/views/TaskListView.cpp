#include "app/views/TaskListView.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/model/AppModel.h"
#include "app/views/widgets/ColumnHeader.h"
#include "app/views/EmptyStatePanel.h"
#include "app/model/PlatformTexts.h"
#include "app/views/widgets/SymbolIcons.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/TaskListModel.h"
#include "app/views/TaskRow.h"
#include "app/views/dialogs/ViewDialogs.h"

namespace kestrin {
namespace {

const QString emptyTitle = QStringLiteral("没有匹配的事项");
const QString emptyWithSearch = QStringLiteral("请调整搜索词或左侧筛选。");
const QString emptyWithoutSearch =
    QStringLiteral("Codex 通过 MCP 提交的人工介入事项会自动出现在这里。");

}  // namespace

QString TaskListView::title(const SidebarSelection& selection) {
    struct Title {
        QString operator()(TaskStatus status) const {
            return QString::fromUtf8(displayName(status).data(),
                                     qsizetype(displayName(status).size()));
        }
        QString operator()(const SidebarSelection::Project& project) const {
            return QString::fromStdString(project.name);
        }
        QString operator()(SidebarSelection::Attention) const { return QStringLiteral("现在处理"); }
        QString operator()(SidebarSelection::All) const { return QStringLiteral("全部事项"); }
        QString operator()(SidebarSelection::History) const { return QStringLiteral("回执历史"); }
    };
    return std::visit(Title{}, selection.value());
}

TaskListView::TaskListView(AppModel& model, ViewDialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      model_(model),
      dialogs_(dialogs),
      header_(nullptr),
      multiSelectHint_(new SymbolLabel("checklist",
                                       QStringLiteral("按住 ") + PlatformTexts::multiSelectKey() +
                                           QStringLiteral(" 点选多个事项"),
                                       AppAppearance::TextStyle::caption, this)),
      deleteButton_(new QPushButton(this)),
      search_(new QLineEdit(this)),
      stack_(new QStackedWidget(this)),
      empty_(new EmptyStatePanel(emptyTitle, "checkmark.circle", emptyWithoutSearch, this)),
      list_(new QListView(this)),
      rows_(new TaskListModel(model, this)) {
    setObjectName(QStringLiteral("taskListView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    header_ = new ColumnHeader(title(model.selection()), this);
    header_->setObjectName(QStringLiteral("taskListHeader"));
    header_->titleLabel()->setObjectName(QStringLiteral("taskListTitle"));
    multiSelectHint_->setObjectName(QStringLiteral("multiSelectHint"));
    multiSelectHint_->setTextColor(AppAppearance::color(AppAppearance::Tint::secondary));
    multiSelectHint_->setToolTip(QStringLiteral("按住 ") + PlatformTexts::multiSelectKey() +
                                 QStringLiteral(" 点选多个事项后，可一次性删除"));
    header_->addItem(multiSelectHint_);
    deleteButton_->setObjectName(QStringLiteral("deleteSelectedButton"));
    deleteButton_->setIcon(SymbolIcons::icon("trash", Qt::white));
    deleteButton_->setToolTip(QStringLiteral("永久删除选中的事项；按住 ") +
                              PlatformTexts::multiSelectKey() + QStringLiteral(" 可继续多选"));
    AppAppearance::styleButton(deleteButton_, AppAppearance::ButtonStyle::prominent,
                               AppAppearance::Tint::red);
    header_->addItem(deleteButton_);
    layout->addWidget(header_);

    auto* searchRow = new QVBoxLayout();
    searchRow->setContentsMargins(12, 10, 12, 8);
    search_->setObjectName(QStringLiteral("searchField"));
    search_->setPlaceholderText(QStringLiteral("搜索项目、事项或 Agent"));
    search_->setAccessibleName(QStringLiteral("搜索项目、事项或 Agent"));
    search_->setClearButtonEnabled(true);
    search_->addAction(
        SymbolIcons::icon("magnifyingglass", AppAppearance::color(AppAppearance::Tint::secondary)),
        QLineEdit::LeadingPosition);
    search_->setText(model.searchText());
    searchRow->addWidget(search_);
    layout->addLayout(searchRow);

    empty_->setObjectName(QStringLiteral("taskListEmptyState"));
    empty_->addLink(ViewDialogs::agentConnectionsTitle());
    connect(empty_, &EmptyStatePanel::linkActivated, this,
            [this] { dialogs_.showAgentConnections(model_); });
    list_->setObjectName(QStringLiteral("taskList"));
    list_->setModel(rows_);
    list_->setItemDelegate(new TaskRow(*rows_, list_));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setUniformItemSizes(true);
    list_->setAccessibleName(QStringLiteral("事项列表"));
    AppAppearance::styleList(list_);
    stack_->addWidget(empty_);
    stack_->addWidget(list_);
    layout->addWidget(stack_, 1);

    auto* deleteKey =
        new QShortcut(QKeySequence::Delete, list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] { requestDelete(); });

    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& text) { model_.setSearchText(text); });
    connect(deleteButton_, &QPushButton::clicked, this, [this] { requestDelete(); });
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { takeSelectionFromView(); });

    // A new filter or search starts a new selection.
    auto clearSelection = [this] {
        model_.setSelectedTaskKeys({});
        model_.setSelectedTaskKey(std::nullopt);
    };
    connect(&model_, &AppModel::selectionChanged, this, [this, clearSelection] {
        header_->setTitle(title(model_.selection()));
        clearSelection();
        reloadRows();
    });
    connect(&model_, &AppModel::searchTextChanged, this, [this, clearSelection] {
        if (search_->text() != model_.searchText()) search_->setText(model_.searchText());
        clearSelection();
        reloadRows();
    });
    connect(&model_, &AppModel::tasksChanged, this, [this] { reloadRows(); });
    // Rows read on (scrolling, a search going on) may be the first ones. They
    // are laid out at once: the scroll that asked for them then paints once,
    // where the view's own delayed layout would paint the list a second time.
    connect(rows_, &QAbstractItemModel::rowsInserted, this, [this] {
        list_->doItemsLayout();
        showSelectionFromModel();
        updateEmptyState();
    });
    connect(&model_, &AppModel::selectedTaskKeysChanged, this, [this] {
        showSelectionFromModel();
        updateDeleteItem();
    });
    connect(&model_, &AppModel::selectedTaskKeyChanged, this, [this] { showSelectionFromModel(); });
    connect(
        &model_, &AppModel::isShowingDeleteConfirmationChanged, this, [this] { confirmDelete(); },
        Qt::QueuedConnection);

    reloadRows();
}

void TaskListView::focusSearch() {
    search_->setFocus(Qt::ShortcutFocusReason);
    search_->selectAll();
}

void TaskListView::reloadRows() {
    syncingSelection_ = true;
    rows_->reload();
    syncingSelection_ = false;
    showSelectionFromModel();
    updateEmptyState();
    updateDeleteItem();
}

void TaskListView::showSelectionFromModel() {
    if (syncingSelection_) return;
    syncingSelection_ = true;
    QItemSelection selection;
    for (const std::string& key : model_.selectedTaskKeys()) {
        const int row = rows_->rowOf(key);
        if (row < 0) continue;
        const QModelIndex index = rows_->index(row);
        selection.select(index, index);
    }
    QItemSelectionModel* selectionModel = list_->selectionModel();
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
    // Keyboard navigation continues from the task the detail pane shows.
    if (const auto& key = model_.selectedTaskKey()) {
        const int row = rows_->rowOf(*key);
        if (row >= 0) {
            selectionModel->setCurrentIndex(rows_->index(row), QItemSelectionModel::NoUpdate);
        }
    }
    syncingSelection_ = false;
}

void TaskListView::takeSelectionFromView() {
    if (syncingSelection_) return;
    TaskKeySet keys;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows()) {
        keys.insert(rows_->taskAt(index.row()).taskKey);
    }
    syncingSelection_ = true;
    model_.updateTaskSelection(std::move(keys));
    syncingSelection_ = false;
    updateDeleteItem();
}

void TaskListView::updateEmptyState() {
    const bool empty = rows_->rowCount() == 0;
    // The raw text decides: a search of only spaces is still a search here.
    empty_->setDescription(model_.searchText().isEmpty() ? emptyWithoutSearch : emptyWithSearch);
    stack_->setCurrentWidget(empty ? static_cast<QWidget*>(empty_) : list_);
}

void TaskListView::updateDeleteItem() {
    const std::size_t count = model_.selectedVisibleTaskKeys().size();
    multiSelectHint_->setVisible(count == 0);
    deleteButton_->setVisible(count >= 1);
    deleteButton_->setText(QStringLiteral("删除 ") + QString::number(count) +
                           QStringLiteral(" 项"));
    deleteButton_->setAccessibleName(QStringLiteral("删除 ") + QString::number(count) +
                                     QStringLiteral(" 个选中事项"));
}

void TaskListView::requestDelete() {
    if (model_.selectedVisibleTaskKeys().empty()) return;
    model_.setShowingDeleteConfirmation(true);
}

void TaskListView::confirmDelete() {
    if (!model_.isShowingDeleteConfirmation()) return;
    const TaskKeySet shown = model_.selectedVisibleTaskKeys();
    if (shown.empty()) {
        model_.setShowingDeleteConfirmation(false);
        return;
    }
    const QString count = QString::number(shown.size());
    const bool confirmed = dialogs_.confirmDestructive(ConfirmationRequest{
        QStringLiteral("永久删除 ") + count + QStringLiteral(" 个事项？"),
        QStringLiteral("这些任务将从当前任务列表移除，无法通过“已取消”恢复；对应回执仍会保留在“回执"
                       "历史”中。删除前请确认选中数量正确。"),
        QStringLiteral("永久删除 ") + count + QStringLiteral(" 项"), QStringLiteral("取消")});
    if (!confirmed) {
        model_.setShowingDeleteConfirmation(false);
        return;
    }
    // The scan timer keeps running while the dialog is open: a task that came
    // into view meanwhile was not in the confirmed count, so it is left alone.
    if (model_.selectedVisibleTaskKeys() != shown) {
        TaskKeySet confirmedKeys;
        for (const std::string& key : model_.selectedTaskKeys()) {
            if (shown.contains(key)) confirmedKeys.insert(key);
        }
        model_.setSelectedTaskKeys(std::move(confirmedKeys));
    }
    model_.deleteSelectedTasks();
}

}  // namespace kestrin
