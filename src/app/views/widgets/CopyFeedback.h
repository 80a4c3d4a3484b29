#pragma once

#include <QObject>
#include <chrono>

namespace kestrin {

// The "copied" state of a copy button: on when the user copies, off again
// after the feedback period. Every copy schedules its own reset, so the state
// goes off one period after the first of several quick copies.
class CopyFeedback : public QObject {
    Q_OBJECT

  public:
    static constexpr std::chrono::milliseconds period{1500};

    explicit CopyFeedback(QObject* parent = nullptr) : QObject(parent) {}

    bool isActive() const { return active_; }
    // Turns the state on and schedules its reset.
    void start();

  signals:
    void changed(bool active);

  private:
    void set(bool active);

    bool active_ = false;
};

}  // namespace kestrin
