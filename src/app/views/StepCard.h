#pragma once

#include <QFrame>
#include <QString>

#include <vector>

#include "core/checks/CommandRisk.h"
#include "core/receipt/ActionStep.h"

class QPushButton;
class QToolButton;

namespace kestrin {

class CopyFeedback;

// One step of a task as a card: the round toggle, "第 n 步 · " + kind, the
// title and instruction; the working directory and the command as copyable
// panels (with "复制命令" and "打开终端" when there is a command, and above
// those buttons a red callout naming each of the command's risks); the password
// guidance when the step needs a password; the success signal and what to do
// on failure. The outline turns green when the step is completed. The card
// only reports the user's intent through its signals.
class StepCard : public QFrame {
    Q_OBJECT

  public:
    // The guidance shown for a password step without a prompt of its own.
    static const QString defaultPasswordGuidance;

    // `risks` are those of the step's command (CommandRiskPolicy); shown only
    // with a command.
    StepCard(const ActionStep& step, bool isCompleted, const std::vector<CommandRisk>& risks = {},
             QWidget* parent = nullptr);

    const ActionStep& step() const { return step_; }
    bool isCompleted() const { return isCompleted_; }
    void setCompleted(bool completed);
    QToolButton* toggleButton() const { return toggle_; }
    // nullptr when the step has no command.
    QPushButton* copyCommandButton() const { return copyCommand_; }
    QPushButton* openTerminalButton() const { return openTerminal_; }
    bool didCopyCommand() const;

  signals:
    // The toggle was pressed: the step should become `completed`.
    void toggle(bool completed);
    void copy(const QString& text);
    void openTerminal();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void showState();
    void showCommandFeedback(bool copied);

    ActionStep step_;
    bool isCompleted_;
    QToolButton* toggle_;
    QPushButton* copyCommand_ = nullptr;
    QPushButton* openTerminal_ = nullptr;
    CopyFeedback* commandFeedback_;
};

}  // namespace kestrin
