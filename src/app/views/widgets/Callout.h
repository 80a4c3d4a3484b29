#pragma once

#include <QColor>
#include <QFrame>
#include <QString>
#include <string_view>

class QLabel;

namespace kestrin {

// A box tinted in `color` with a coloured symbol, a title and a text: risk,
// rollback, password guidance and the manual return to Codex.
class Callout : public QFrame {
    Q_OBJECT

  public:
    Callout(const QString& title, const QString& text, std::string_view icon, const QColor& color,
            QWidget* parent = nullptr);

    QString title() const;
    QString text() const;
    const QColor& color() const { return color_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QLabel* titleLabel_;
    QLabel* textLabel_;
    QColor color_;
};

}  // namespace kestrin
