#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QToolButton;

namespace kestrin {

class CopyFeedback;
class WrappingText;

// A labelled value in a monospaced, selectable font, with a copy button:
// a step's working directory or command. Pressing the button emits copy(value)
// and shows "copied" (a check mark, help "已复制" + label) for the feedback
// period; otherwise the button shows "doc.on.doc" with help "复制" + label.
class CodePanel : public QFrame {
    Q_OBJECT

  public:
    CodePanel(const QString& label, const QString& value, QWidget* parent = nullptr);

    QString label() const;
    QString value() const;
    QToolButton* copyButton() const { return copyButton_; }
    bool didCopyValue() const;

  signals:
    void copy(const QString& value);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void showFeedback(bool copied);

    QLabel* label_;
    WrappingText* value_;
    QToolButton* copyButton_;
    CopyFeedback* feedback_;
};

}  // namespace kestrin
