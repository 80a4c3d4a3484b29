#pragma once

#include <QList>
#include <QStringList>
#include <functional>

#include "app/views/dialogs/ViewDialogs.h"

namespace kestrin {

// Answers every dialog at once with the prepared answer and records what was
// asked. `duringDialog` runs while a dialog is "open", to change the state
// under it the way a timer tick would.
class FakeViewDialogs final : public ViewDialogs {
  public:
    struct Notice {
        QString title;
        QString message;
    };

    void showNotice(const QString& title, const QString& message) override {
        notices << Notice{title, message};
        runDuringDialog();
    }

    bool confirmDestructive(const ConfirmationRequest& request) override {
        confirmations << request;
        runDuringDialog();
        return confirmAnswer;
    }

    Result<std::vector<std::filesystem::path>, QString> chooseReceiptFiles() override {
        ++filePanelCount;
        runDuringDialog();
        if (filePanelError) return fail(*filePanelError);
        return chosenFiles;
    }

    QList<Notice> notices;
    QList<ConfirmationRequest> confirmations;
    int filePanelCount = 0;

    bool confirmAnswer = false;
    std::vector<std::filesystem::path> chosenFiles;
    std::optional<QString> filePanelError;
    std::function<void()> duringDialog;

  private:
    void runDuringDialog() {
        if (!duringDialog) return;
        auto work = std::move(duringDialog);
        duringDialog = nullptr;
        work();
    }
};

}  // namespace kestrin
