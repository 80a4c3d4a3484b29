#include "app/views/ScenePhaseMonitor.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include "app/model/AppModel.h"

namespace kestrin {

ScenePhaseMonitor::ScenePhaseMonitor(AppModel& model, QWidget& window, QObject* parent)
    : QObject(parent),
      model_(model),
      window_(window),
      state_(QGuiApplication::applicationState()),
      phase_(phaseFor(state_, window.isMinimized())) {
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) { applicationStateChanged(state); });
    window.installEventFilter(this);
}

ScenePhaseMonitor::Phase ScenePhaseMonitor::phaseFor(Qt::ApplicationState state,
                                                     bool windowMinimized) {
    if (windowMinimized || state == Qt::ApplicationHidden || state == Qt::ApplicationSuspended) {
        return Phase::background;
    }
    return state == Qt::ApplicationActive ? Phase::active : Phase::inactive;
}

void ScenePhaseMonitor::applicationStateChanged(Qt::ApplicationState state) {
    state_ = state;
    update();
}

bool ScenePhaseMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::WindowStateChange) update();
    return QObject::eventFilter(watched, event);
}

void ScenePhaseMonitor::update() {
    const Phase phase = phaseFor(state_, window_.isMinimized());
    if (phase == phase_) return;
    phase_ = phase;
    if (phase == Phase::background) {
        model_.enterBackground();
    } else {
        model_.enterForeground();
    }
}

}  // namespace kestrin
