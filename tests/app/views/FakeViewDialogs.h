#pragma once

#include <QList>
#include <functional>

#include "app/views/dialogs/ViewDialogs.h"

namespace kestrin {

// Answers every dialog at once and records what was asked. `duringDialog`
// runs while a dialog is "open", to change the state under it as a timer would.
class FakeViewDialogs final : public ViewDialogs {
public:
    struct Notice {
        QString title, message;
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
        if (filePanelError) return fail(*filePanelError);
        return chosenFiles;
    }
    void showAgentConnections(const std::vector<AgentConnectionGuide::Entry>& entries,
                              const std::function<void(const QString&)>& copy) override {
        agentConnections.push_back(entries);
        if (!entries.empty()) copy(QString::fromStdString(entries.front().text));
    }

    QList<Notice> notices;
    std::vector<std::vector<AgentConnectionGuide::Entry>> agentConnections;
    QList<ConfirmationRequest> confirmations;
    int filePanelCount = 0;
    bool confirmAnswer = false;
    std::vector<std::filesystem::path> chosenFiles;
    std::optional<QString> filePanelError;
    std::function<void()> duringDialog;

private:
    void runDuringDialog() {
        if (auto work = std::exchange(duringDialog, nullptr)) work();
    }
};

}  // namespace kestrin
