#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <optional>
#include <string_view>

#include "app/views/widgets/AppAppearance.h"

class QLabel;

namespace kestrin {

// A symbol followed by a line of text, like "folder  billing-service". The
// symbol takes the text's colour unless a tint is given; the text may be made
// selectable for copying.
class SymbolLabel : public QWidget {
    Q_OBJECT

  public:
    SymbolLabel(std::string_view symbol, const QString& text,
                AppAppearance::TextStyle style = AppAppearance::TextStyle::body,
                QWidget* parent = nullptr);

    // Colours the text (and the symbol, unless it has a tint of its own).
    void setTextColor(const QColor& color);
    // Colours the symbol only.
    void setSymbolColor(const QColor& color);
    void setSymbol(std::string_view symbol);
    void setText(const QString& text);
    QString text() const;
    void setSelectable(bool selectable);
    void setWordWrap(bool wrap);

  private:
    void updateSymbol();

    QLabel* symbolLabel_;
    QLabel* textLabel_;
    std::string symbol_;
    std::optional<QColor> textColor_;
    std::optional<QColor> symbolColor_;
};

}  // namespace kestrin
