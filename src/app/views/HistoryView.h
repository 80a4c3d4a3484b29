#pragma once

#include <QWidget>

class QListView;

namespace kestrin {

class AppModel;

// The middle column while the sidebar shows "回执历史": the model's history
// rows, newest first. Each row shows the project with "v" + version, the
// receipt summary, and a line with the agent, whether the receipt asked for
// manual work, and the receive time. Rows cannot be selected and have no
// actions.
class HistoryView : public QWidget {
    Q_OBJECT

  public:
    explicit HistoryView(AppModel& model, QWidget* parent = nullptr);

    QListView* listView() const { return list_; }

  private:
    QListView* list_;
};

}  // namespace kestrin
