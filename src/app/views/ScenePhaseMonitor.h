#pragma once

#include <QObject>
#include <Qt>

class QWidget;

namespace kestrin {

class AppModel;

// Follows whether the program is in the foreground and tells the model: in the
// background (the application hidden or suspended, or the window minimised)
// scans stop; back in the foreground (active or inactive) they resume when
// watching is on. Only changes count, not the phase found at the start.
class ScenePhaseMonitor : public QObject {
    Q_OBJECT

  public:
    enum class Phase { active, inactive, background };

    ScenePhaseMonitor(AppModel& model, QWidget& window, QObject* parent = nullptr);

    static Phase phaseFor(Qt::ApplicationState state, bool windowMinimized);

    Phase phase() const { return phase_; }

    // The platform reported a new application state.
    void applicationStateChanged(Qt::ApplicationState state);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void update();

    AppModel& model_;
    QWidget& window_;
    Qt::ApplicationState state_;
    Phase phase_;
};

}  // namespace kestrin
