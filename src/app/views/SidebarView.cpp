#include "app/views/SidebarView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/views/widgets/AppAppearance.h"
#include "app/model/AppModel.h"
#include "app/views/DataEnvironmentRow.h"
#include "app/views/SidebarRow.h"
#include "app/views/widgets/SymbolLabel.h"
#include "app/views/widgets/TextLabels.h"
#include "app/views/widgets/ToggleSwitch.h"
#include "core/handback/TaskListPolicy.h"

namespace kestrin {
namespace {

constexpr int selectionIndexRole = SidebarRow::IsSectionRole + 1;

}  // namespace

SidebarView::SidebarView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      list_(new QListWidget(this)),
      watchSwitch_(new ToggleSwitch(this)) {
    setObjectName(QStringLiteral("sidebarView"));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, AppAppearance::sidebarColor(palette()));
    setPalette(background);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The data directory row stays above the filters: it cannot be selected.
    QLabel* environmentSection = TextLabels::label(
        QStringLiteral("当前任务库"), AppAppearance::TextStyle::captionEmphasized, this);
    environmentSection->setObjectName(QStringLiteral("dataEnvironmentSection"));
    environmentSection->setContentsMargins(12, 10, 10, 0);
    TextLabels::setTint(environmentSection, AppAppearance::Tint::secondary);
    layout->addWidget(environmentSection);
    const auto& paths = model_.paths();
    layout->addWidget(new DataEnvironmentRow(
        model_.dataEnvironment(),
        paths ? QString::fromStdString(paths->root().string()) : QStringLiteral("任务库尚未连接"),
        this));

    list_->setObjectName(QStringLiteral("sidebarList"));
    list_->setAccessibleName(QStringLiteral("筛选"));
    list_->setItemDelegate(new SidebarRow(list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    AppAppearance::styleList(list_);
    layout->addWidget(list_, 1);

    auto* footer = new QWidget(this);
    auto* footerLayout = new QVBoxLayout(footer);
    footerLayout->setContentsMargins(14, 8, 12, 12);
    footerLayout->setSpacing(2);
    auto* switchRow = new QHBoxLayout();
    auto* switchLabel =
        new SymbolLabel("dot.radiowaves.left.and.right", QStringLiteral("自动接收与刷新"),
                        AppAppearance::TextStyle::body, footer);
    switchLabel->setSymbolColor(AppAppearance::accent());
    switchRow->addWidget(switchLabel, 1);
    watchSwitch_->setObjectName(QStringLiteral("watchSwitch"));
    watchSwitch_->setAccessibleName(QStringLiteral("自动接收与刷新"));
    watchSwitch_->setToolTip(QStringLiteral("自动接收与刷新"));
    watchSwitch_->setChecked(model.isWatching());
    switchRow->addWidget(watchSwitch_);
    footerLayout->addLayout(switchRow);
    QLabel* caption = TextLabels::label(QStringLiteral("Codex MCP 与恢复收件箱"),
                                        AppAppearance::TextStyle::caption, footer);
    TextLabels::setTint(caption, AppAppearance::Tint::secondary);
    footerLayout->addWidget(caption);
    layout->addWidget(footer);

    connect(watchSwitch_, &ToggleSwitch::toggled, this, [this](bool on) {
        if (on != model_.isWatching()) model_.setWatching(on);
    });
    connect(&model_, &AppModel::isWatchingChanged, this,
            [this] { watchSwitch_->setChecked(model_.isWatching()); });
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        if (syncing_) return;
        const QList<QListWidgetItem*> selected = list_->selectedItems();
        if (selected.isEmpty()) return;
        const QVariant index = selected.constFirst()->data(selectionIndexRole);
        if (index.isValid()) model_.setSelection(selections_[index.toUInt()]);
    });
    connect(&model_, &AppModel::selectionChanged, this, [this] { showSelectionFromModel(); });
    connect(&model_, &AppModel::tasksChanged, this, [this] { rebuild(); });
    connect(&model_, &AppModel::historyChanged, this, [this] { rebuild(); });
    rebuild();
}

void SidebarView::addSection(const QString& title) {
    auto* item = new QListWidgetItem(title, list_);
    item->setData(SidebarRow::IsSectionRole, true);
    // Not selectable and skipped by the arrow keys.
    item->setFlags(Qt::NoItemFlags);
    item->setData(Qt::AccessibleTextRole, title);
}

void SidebarView::addRow(const QString& title, std::string_view symbol, qsizetype count,
                         SidebarSelection selection) {
    auto* item = new QListWidgetItem(title, list_);
    item->setData(SidebarRow::SymbolRole, TextLabels::text(symbol));
    item->setData(SidebarRow::CountRole, qlonglong(count));
    item->setData(Qt::AccessibleTextRole, SidebarRow::accessibilityLabel(title, count));
    item->setData(selectionIndexRole, uint(selections_.size()));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    selections_.push_back(std::move(selection));
}

void SidebarView::rebuild() {
    syncing_ = true;
    list_->clear();
    selections_.clear();

    const SidebarCounts& counts = model_.sidebarCounts();
    const auto count = [](const auto& map, const auto& key) {
        auto found = map.find(key);
        return qsizetype(found == map.end() ? 0 : found->second);
    };

    addSection(QStringLiteral("需要关注"));
    addRow(QStringLiteral("现在处理"), "scope", qsizetype(counts.attention),
           SidebarSelection::attention());
    addRow(QStringLiteral("全部事项"), "tray.full", qsizetype(counts.all), SidebarSelection::all());

    const std::vector<std::string> projects = TaskListPolicy::projectNames(model_.tasks());
    if (!projects.empty()) {
        addSection(QStringLiteral("按项目"));
        for (const std::string& project : projects) {
            addRow(QString::fromStdString(project), "folder", count(counts.byProject, project),
                   SidebarSelection::project(project));
        }
    }

    addSection(QStringLiteral("按状态"));
    for (const auto& status : allCases<TaskStatus>()) {
        addRow(TextLabels::text(status.displayName), status.systemImage,
               count(counts.byStatus, status.value), SidebarSelection::status(status.value));
    }

    addSection(QStringLiteral("辅助"));
    addRow(QStringLiteral("回执历史"), "clock.arrow.circlepath", qsizetype(model_.history().size()),
           SidebarSelection::history());
    syncing_ = false;
    showSelectionFromModel();
}

QListWidgetItem* SidebarView::itemFor(const SidebarSelection& selection) const {
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        const QVariant index = item->data(selectionIndexRole);
        if (index.isValid() && selections_[index.toUInt()] == selection) return item;
    }
    return nullptr;
}

QStringList SidebarView::sectionTitles() const {
    QStringList titles{QStringLiteral("当前任务库")};
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->data(SidebarRow::IsSectionRole).toBool()) {
            titles << list_->item(row)->text();
        }
    }
    return titles;
}

void SidebarView::showSelectionFromModel() {
    syncing_ = true;
    QListWidgetItem* item = itemFor(model_.selection());
    if (item != nullptr) {
        list_->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    } else {
        list_->clearSelection();
    }
    syncing_ = false;
}

}  // namespace kestrin
