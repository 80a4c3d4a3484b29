#pragma once

#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;

namespace kestrin {

// The bar at the top of a column, all of the same height so that together they
// read as the window's toolbar: a title at the leading edge and the column's
// toolbar items at the trailing edge, over a hairline.
class ColumnHeader : public QWidget {
    Q_OBJECT

  public:
    explicit ColumnHeader(const QString& title = QString(), QWidget* parent = nullptr);

    static constexpr int barHeight = 52;

    void setTitle(const QString& title);
    QString title() const;
    QLabel* titleLabel() const { return title_; }
    // Adds a toolbar item after the ones already there.
    void addItem(QWidget* item);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QLabel* title_;
    QHBoxLayout* layout_;
};

}  // namespace kestrin
