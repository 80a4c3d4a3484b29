#pragma once

#include <QString>
#include <QWidget>

namespace kestrin {

// A small orange eyebrow line, a title and a secondary detail line, heading a
// run of cards.
class SectionHeader : public QWidget {
    Q_OBJECT

  public:
    SectionHeader(const QString& eyebrow, const QString& title, const QString& detail,
                  QWidget* parent = nullptr);
};

}  // namespace kestrin
