#pragma once

#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;

namespace kestrin {

// The bar at the top of a column, all of the same height so that together they
// read as the window's toolbar: a title at the leading edge and the column's
// toolbar items at the trailing edge, over a hairline. A title too long for
// its room ends in "…", with the whole title as its tooltip.
class ColumnHeader : public QWidget {
    Q_OBJECT

  public:
    explicit ColumnHeader(const QString& title = QString(), QWidget* parent = nullptr);

    static constexpr int barHeight = 52;

    void setTitle(const QString& title);
    // The whole title, however it is shown.
    QString title() const { return fullTitle_; }
    QLabel* titleLabel() const { return title_; }
    // Adds a toolbar item after the ones already there.
    void addItem(QWidget* item);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void elideTitle();

    QString fullTitle_;
    QLabel* title_;
    QHBoxLayout* layout_;
};

}  // namespace kestrin
