#pragma once

#include <QMessageBox>

namespace kestrin {

// A QMessageBox whose bold first line (an item title may be in it) always
// wraps. QMessageBox decides on wrapping from the label's minimum width, which
// it has itself made meaningless once an informative text is present, and
// decides again on every layout request, so a long title ended up clipped to
// one line. This box sizes itself once as QMessageBox does, then wraps the
// first line over that width and keeps the result.
class AlertBox : public QMessageBox {
    Q_OBJECT

  public:
    using QMessageBox::QMessageBox;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    bool sized_ = false;
};

}  // namespace kestrin
