#pragma once

#include <QFrame>
#include <QString>
#include <string_view>

class QVBoxLayout;

namespace kestrin {

// A card of the detail pane: a heading with a symbol and a title, then the
// content the caller adds to contentLayout(). Its accessible name is the title.
class DetailCard : public QFrame {
    Q_OBJECT

  public:
    DetailCard(const QString& title, std::string_view icon, QWidget* parent = nullptr);

    QVBoxLayout* contentLayout() const { return content_; }
    const QString& title() const { return title_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString title_;
    QVBoxLayout* content_;
};

}  // namespace kestrin
