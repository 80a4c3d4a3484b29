#pragma once

#include <QAbstractButton>

namespace kestrin {

// A small on/off switch: a capsule track with a round knob, the track in the
// accent colour when on. Checkable; Space toggles it from the keyboard.
class ToggleSwitch : public QAbstractButton {
    Q_OBJECT

  public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    QSize sizeHint() const override { return {34, 20}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace kestrin
