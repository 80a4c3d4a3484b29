#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <string>
#include <string_view>

namespace kestrin {

// A small capsule tinted in `color`, with a symbol and a title: the status,
// priority and category of the task at the top of the detail pane.
class StatusPill : public QWidget {
    Q_OBJECT

  public:
    StatusPill(const QString& title, std::string_view icon, const QColor& color,
               QWidget* parent = nullptr);

    void set(const QString& title, std::string_view icon, const QColor& color);
    const QString& title() const { return title_; }
    const QColor& color() const { return color_; }
    const std::string& icon() const { return icon_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString title_;
    std::string icon_;
    QColor color_;
};

}  // namespace kestrin
