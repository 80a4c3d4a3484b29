#pragma once

#include <QWidget>
#include <vector>

#include "app/model/SidebarSelection.h"

class QListWidget;
class QListWidgetItem;

namespace kestrin {

class AppModel;
class ToggleSwitch;

// The sidebar: the data directory row, then the filters with their counts in
// the sections "需要关注", "按项目" (only while some project has open tasks),
// "按状态" and "辅助", and, pinned to the bottom, the switch for automatic
// receiving. The selected row is the model's `selection`. Counts come from
// the model's full task list, so the search never changes them.
class SidebarView : public QWidget {
    Q_OBJECT

  public:
    explicit SidebarView(AppModel& model, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    ToggleSwitch* watchSwitch() const { return watchSwitch_; }

    // The list row of a filter, or nullptr when it has none.
    QListWidgetItem* itemFor(const SidebarSelection& selection) const;
    // The section titles in order.
    QStringList sectionTitles() const;

  private:
    void rebuild();
    void addSection(const QString& title);
    void addRow(const QString& title, std::string_view symbol, qsizetype count,
                SidebarSelection selection);
    void showSelectionFromModel();

    AppModel& model_;
    QListWidget* list_;
    ToggleSwitch* watchSwitch_;
    std::vector<SidebarSelection> selections_;
    bool syncing_ = false;
};

}  // namespace kestrin
