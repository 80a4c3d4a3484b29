#pragma once

#include <QTextEdit>

namespace kestrin {

// Read-only plain text that wraps anywhere (a long path or command breaks at
// any character instead of widening its column), can be selected and copied,
// and is exactly as tall as its text at the width it gets. Transparent, with
// no frame and no scroll bars.
class WrappingText : public QTextEdit {
    Q_OBJECT

  public:
    explicit WrappingText(const QString& text, QWidget* parent = nullptr);

    // The colour of the text; the palette's text colour until set.
    void setTextColor(const QColor& color);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace kestrin
