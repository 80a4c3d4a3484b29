#pragma once

#include <QString>
#include <QWidget>
#include <string_view>

class QLabel;

namespace kestrin {

// A centred panel with a large symbol, a title and a description: what a
// column shows when it has nothing to list or no task is selected.
class EmptyStatePanel : public QWidget {
    Q_OBJECT

  public:
    EmptyStatePanel(const QString& title, std::string_view icon, const QString& description,
                    QWidget* parent = nullptr);

    // The receipt history's help panel, beside the history list.
    static EmptyStatePanel* historyHelp(QWidget* parent = nullptr);
    // The detail pane when no task is selected.
    static EmptyStatePanel* emptyDetail(QWidget* parent = nullptr);

    QString title() const;
    QString description() const;
    void setDescription(const QString& description);

  private:
    QLabel* title_;
    QLabel* description_;
};

}  // namespace kestrin
