#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/model/AppModel.h"
#include "app/model/ConfirmationAlerts.h"
#include "core/intake/AgentConnectionGuide.h"
#include "core/support/Result.h"

namespace kestrin {

// The modal dialogs the window's views open. The program uses QtViewDialogs;
// tests stub them to answer at once and record what was asked.
class ViewDialogs {
public:
    virtual ~ViewDialogs() = default;

    // Shows one notice with the single button "知道了" and waits until the
    // user dismisses it.
    virtual void showNotice(const QString& title, const QString& message) = 0;

    // A confirmation whose confirming button destroys or closes something.
    // True only when that button was chosen.
    virtual bool confirmDestructive(const ConfirmationRequest& request) = 0;

    // The receipt files the user chose in an open panel (JSON files, several
    // allowed); an empty list when the panel was cancelled, the panel's error
    // text when it failed.
    virtual Result<std::vector<std::filesystem::path>, QString> chooseReceiptFiles() = 0;

    // "连接 Agent…": how to add the server to each agent, every text with a
    // copy button that puts it on the clipboard through `copy`.
    virtual void showAgentConnections(const std::vector<AgentConnectionGuide::Entry>& entries,
                                      const std::function<void(const QString&)>& copy) = 0;

    // The command's title, in the menu and in the empty list.
    static QString agentConnectionsTitle() { return QStringLiteral("连接 Agent…"); }
    // Runs the command for `model`'s installation and store.
    void showAgentConnections(AppModel& model) {
        showAgentConnections(model.agentConnections(),
                             [&model](const QString& text) { model.copyText(text); });
    }
};

}  // namespace kestrin
