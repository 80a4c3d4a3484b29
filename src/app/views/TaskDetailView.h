#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "core/handback/SourceLinkResolution.h"
#include "core/store/TaskRecord.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace kestrin {

class AppModel;
class CopyFeedback;
class StatusPill;
class StepCard;
class SymbolLabel;
class ViewDialogs;

// The detail pane for one task, a guided work sheet: header pills and labels,
// why the agent needs the user, the prerequisites, the steps, the final
// verification with risk and rollback, and the hand-back area (note, copy,
// return to Codex, closing the item), with a toolbar holding "打开项目" and the
// "安排状态" menu. Every change goes through the app model; the pane's own
// state is the copy feedback, the note being edited and the cancel
// confirmation. The window builds a new pane for every task key, so that
// state starts fresh per task; setTask() takes updates of the same task.
class TaskDetailView : public QWidget {
    Q_OBJECT

  public:
    TaskDetailView(AppModel& model, ViewDialogs& dialogs, const TaskRecord& task,
                   QWidget* parent = nullptr);

    const TaskRecord& task() const { return task_; }
    const std::string& taskKey() const { return task_.taskKey; }

    // Takes a newer record of the same task (same key). Status and ticked
    // steps update in place, keeping focus and scroll position; a changed
    // receipt rebuilds the sheet, keeping the note being edited.
    void setTask(const TaskRecord& task);

    // All steps count as done when the number of completed step ids equals
    // the task's step count.
    static bool allStepsDone(const TaskRecord& task);

    const QString& noteDraft() const { return noteDraft_; }
    bool didCopyResumeMessage() const;
    bool isShowingCancelConfirmation() const { return isShowingCancelConfirmation_; }
    QMenu* scheduleMenu() const { return scheduleMenu_; }

  private:
    void build();
    QWidget* buildHeader();
    QWidget* buildReasonCard();
    QWidget* buildPrerequisitesCard();
    QWidget* buildVerificationCard();
    QWidget* buildResumeCard();
    void buildClosureButton();
    void updateDynamicParts();
    void showResumeFeedback(bool copied);
    void confirmCancel();
    void schedule(TaskStatus status, std::optional<int> seconds);

    AppModel& model_;
    ViewDialogs& dialogs_;
    TaskRecord task_;
    std::optional<SourceLinkResolution> codexLink_;
    bool isShowingCancelConfirmation_ = false;
    CopyFeedback* resumeFeedback_;
    QString noteDraft_;
    std::optional<std::string> loadedNoteTaskKey_;

    QLabel* headerTitle_;
    QMenu* scheduleMenu_;
    QScrollArea* scroll_;
    QWidget* sheet_ = nullptr;
    StatusPill* statusPill_ = nullptr;
    SymbolLabel* stepProgress_ = nullptr;
    std::vector<StepCard*> stepCards_;
    QPlainTextEdit* noteEditor_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* returnButton_ = nullptr;
    QPushButton* closureButton_ = nullptr;
    std::optional<TaskStatus> closureShownFor_;
    QWidget* buttonRow_ = nullptr;
};

}  // namespace kestrin
