#pragma once

#include <QList>
#include <QStringList>
#include <optional>
#include <vector>

#include "app/model/AppPlatform.h"
#include "app/model/ConfirmationAlerts.h"
#include "app/model/DeferredCalls.h"
#include "app/model/FilePanels.h"
#include "app/model/NotificationCenter.h"
#include "app/model/Pasteboard.h"
#include "app/model/RepeatingTimer.h"
#include "app/model/Workspace.h"

namespace kestrin {

// Fakes answer with what the test prepared and record what they were asked.
struct FakeConfirmationAlerts final : ConfirmationAlerts {
    bool confirm(const ConfirmationRequest& r) override { return requests << r, nextAnswer; }
    bool nextAnswer = true;
    QList<ConfirmationRequest> requests;
};

struct FakeDeferredCalls final : DeferredCalls {
    void post(std::function<void()> work) override { pending.push_back(std::move(work)); }
    // Runs what was pending when called; work posted meanwhile waits.
    void runPending() {
        for (auto& work : std::exchange(pending, {})) work();
    }
    std::vector<std::function<void()>> pending;
};

struct FakeFilePanels final : FilePanels {
    std::optional<QString> chooseSaveLocation(const SavePanelRequest& r) override {
        return saveRequests << r, nextChoice;
    }
    std::optional<QString> chooseFileToOpen(const OpenPanelRequest& r) override {
        return openRequests << r, nextChoice;
    }
    std::optional<QString> nextChoice;
    QList<SavePanelRequest> saveRequests;
    QList<OpenPanelRequest> openRequests;
};

struct FakeNotificationCenter final : NotificationCenter {
    bool isAvailable() const override { return available; }
    void requestAuthorization() override { ++authorizationRequests; }
    void post(const DesktopNotification& notification) override { posted << notification; }
    bool available = true;
    int authorizationRequests = 0;
    QList<DesktopNotification> posted;
};

struct FakePasteboard final : Pasteboard {
    std::optional<QString> readString() override { return content; }
    void writeString(const QString& text) override { content = text; }
    std::optional<QString> content;
};

struct FakeRepeatingTimer final : RepeatingTimer {
    void start(std::chrono::milliseconds every, std::chrono::milliseconds slack,
               std::function<void()> tick) override {
        interval = every, tolerance = slack, onTick = std::move(tick), ++startCount;
    }
    void stop() override { onTick = nullptr; }
    bool isRunning() const override { return static_cast<bool>(onTick); }
    void fire() { onTick(); }
    std::chrono::milliseconds interval{0}, tolerance{0};
    std::function<void()> onTick;
    int startCount = 0;
};

struct FakeWorkspace final : Workspace {
    bool openURL(const QUrl& url) override { return openedURLs << url, acceptsURLs; }
    Result<void, WorkspaceError> openFolder(const QString& path) override {
        openedFolders << path;
        if (folderFailure) return fail(*folderFailure);
        return {};
    }
    bool openCodexApplication() override { return ++codexOpenRequests, codexInstalled; }
    Result<void, WorkspaceError> openTerminal(const QString& workingDirectory) override {
        terminalDirectories << workingDirectory;
        if (terminalFailure) return fail(*terminalFailure);
        return {};
    }
    bool runInTerminal(const QStringList& arguments, const QString& workingDirectory) override {
        terminalCommands << arguments;
        terminalDirectories << workingDirectory;
        return acceptsTerminalCommands;
    }
    bool acceptsURLs = true, acceptsTerminalCommands = true, codexInstalled = true;
    std::optional<WorkspaceError> folderFailure, terminalFailure;
    QList<QStringList> terminalCommands;
    QList<QUrl> openedURLs;
    QStringList openedFolders, terminalDirectories;
    int codexOpenRequests = 0;
};

// The fakes are owned by the model once take() handed them over; the
// pointers stay valid while it lives. The clock reads `now`.
class FakePlatform {
public:
    explicit FakePlatform(std::map<std::string, std::string> environment) {
        platform_.environment = std::move(environment);
        platform_.pasteboard = own(pasteboard);
        platform_.workspace = own(workspace);
        platform_.notifications = own(notifications);
        platform_.filePanels = own(filePanels);
        platform_.alerts = own(alerts);
        platform_.timer = own(timer);
        platform_.deferredCalls = own(deferredCalls);
        platform_.clock = [this] { return now; };
    }
    AppPlatform take() { return std::move(platform_); }

    FakePasteboard* pasteboard{};
    FakeWorkspace* workspace{};
    FakeNotificationCenter* notifications{};
    FakeFilePanels* filePanels{};
    FakeConfirmationAlerts* alerts{};
    FakeRepeatingTimer* timer{};
    FakeDeferredCalls* deferredCalls{};
    Timestamp now = currentTimestamp();

private:
    template <typename Fake>
    std::unique_ptr<Fake> own(Fake*& pointer) {
        auto fake = std::make_unique<Fake>();
        pointer = fake.get();
        return fake;
    }
    AppPlatform platform_;
};

}  // namespace kestrin
