#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/model/AppNotice.h"
#include "app/model/AppPlatform.h"
#include "app/model/DataCommandProgress.h"
#include "app/model/PageReadAhead.h"
#include "app/model/SidebarCounts.h"
#include "app/model/SidebarSelection.h"
#include "core/intake/AgentConnectionGuide.h"
#include "core/intake/AppPaths.h"
#include "core/intake/ImportOutcome.h"
#include "core/intake/TaskDataEnvironment.h"
#include "core/receipt/Timestamp.h"
#include "core/store/ReceiptHistoryRecord.h"
#include "core/store/SQLiteTaskStore.h"
#include "core/store/TaskRecord.h"
#include "core/store/TaskRowState.h"
#include "core/store/TaskSearchFields.h"
#include "core/store/TaskStatus.h"

namespace kestrin {

class InboxScanner;
class ReceiptImporter;

using TaskKeySet = std::set<std::string>;
using OptionalTaskKey = std::optional<std::string>;
using OptionalNotice = std::optional<AppNotice>;
using TaskList = std::vector<TaskRecord>;
using HistoryList = std::vector<ReceiptHistoryRecord>;

// The desktop program's single state object: it owns the data directory, the
// task store, the importer and the inbox scanner, holds everything the window
// shows, and carries out every user action that touches data. It runs without
// any window: the views only read its state and call its operations, and every
// platform service comes in through AppPlatform.
//
// Everything runs on the main thread. No operation returns an error: every
// failure becomes a notice. When start-up failed (no store), every data
// operation does nothing; only the clipboard import still reports an empty
// clipboard.
//
// Observed fields are properties; each change signal fires only when the value
// really changed. Setting the sidebar filter or the search text does not touch
// the list's multi-selection: clearing it on such a change is the list view's
// rule.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(kestrin::TaskList tasks READ tasks NOTIFY tasksChanged)
    Q_PROPERTY(kestrin::HistoryList history READ history NOTIFY historyChanged)
    Q_PROPERTY(kestrin::SidebarSelection selection READ selection WRITE setSelection NOTIFY
                   selectionChanged)
    Q_PROPERTY(kestrin::OptionalTaskKey selectedTaskKey READ selectedTaskKey WRITE
                   setSelectedTaskKey NOTIFY selectedTaskKeyChanged)
    Q_PROPERTY(kestrin::TaskKeySet selectedTaskKeys READ selectedTaskKeys WRITE setSelectedTaskKeys
                   NOTIFY selectedTaskKeysChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(bool isShowingImporter READ isShowingImporter WRITE setShowingImporter NOTIFY
                   isShowingImporterChanged)
    Q_PROPERTY(bool isShowingDeleteConfirmation READ isShowingDeleteConfirmation WRITE
                   setShowingDeleteConfirmation NOTIFY isShowingDeleteConfirmationChanged)
    Q_PROPERTY(kestrin::OptionalNotice notice READ notice WRITE setNotice NOTIFY noticeChanged)
    Q_PROPERTY(bool isWatching READ isWatching WRITE setWatching NOTIFY isWatchingChanged)

public:
    // Scan timer: every 3 seconds, up to half a second late.
    static constexpr std::chrono::milliseconds scanInterval{3000};
    static constexpr std::chrono::milliseconds scanTolerance{500};
    // The history shows at most this many receipts.
    static constexpr std::int64_t historyLimit = 100;
    // How long typing must pause before a note is stored.
    static constexpr std::chrono::milliseconds noteSaveDelay{800};
    // How many tasks a view with closed tasks reads at a time.
    static constexpr std::size_t pageSize = 40;
    // How many rows a search in such a view reads at a time: for a rare word
    // a read comes back short, and the list reads on from the event loop, so
    // a keystroke never waits for a whole history.
    static constexpr std::int64_t searchChunkRows = 1500;
    // How many of those rows' search texts are kept for the next keystroke:
    // a history this long is searched in memory once read (about 15 MB).
    static constexpr std::size_t searchTextsKept = 50000;

    // Start-up: resolves the data directory from the platform's environment,
    // creates its directories, opens the store, builds the importer and the
    // inbox scanner, refreshes, and asks for notification permission when
    // notifications are available. When any step up to the importer fails, the
    // model stays without store and shows "无法启动本地任务库".
    explicit AppModel(AppPlatform platform, QObject* parent = nullptr);
    ~AppModel() override;

    // ---- Observed state ----
    // The open tasks (neither completed nor cancelled), in listing order: a
    // long closed history stays in the store and is read page by page.
    const TaskList& tasks() const { return tasks_; }
    // The sidebar's numbers; they change with tasksChanged.
    const SidebarCounts& sidebarCounts() const { return counts_; }
    const HistoryList& history() const { return history_; }
    const SidebarSelection& selection() const { return selection_; }
    void setSelection(SidebarSelection selection);
    const OptionalTaskKey& selectedTaskKey() const { return selectedTaskKey_; }
    void setSelectedTaskKey(OptionalTaskKey key);
    const TaskKeySet& selectedTaskKeys() const { return selectedTaskKeys_; }
    void setSelectedTaskKeys(TaskKeySet keys);
    const QString& searchText() const { return searchText_; }
    void setSearchText(const QString& text);
    bool isShowingImporter() const { return isShowingImporter_; }
    void setShowingImporter(bool showing);
    bool isShowingDeleteConfirmation() const { return isShowingDeleteConfirmation_; }
    void setShowingDeleteConfirmation(bool showing);
    const OptionalNotice& notice() const { return notice_; }
    void setNotice(OptionalNotice notice);
    // Replaces any notice not yet shown by a new one.
    void showNotice(const QString& title, const QString& message);
    // The user dismissed the alert.
    void dismissNotice() { setNotice(std::nullopt); }
    bool isWatching() const { return isWatching_; }

    // ---- Unobserved state ----
    // The user's result note for a task: the text being typed, else the
    // stored note; empty when none.
    QString note(const std::string& taskKey) const;
    // Takes the typed text at once and stores it once typing has paused for
    // noteSaveDelay (or at saveNotes()).
    void setNote(const std::string& taskKey, const QString& text);
    // Stores every note typed since the last save; the window calls it when
    // it closes, the hand-back before the message is built. A failure is
    // shown under "无法保存备注" and the text stays for the next try.
    void saveNotes();
    bool windowVisible() const { return windowVisible_; }
    void setWindowVisible(bool visible) { windowVisible_ = visible; }
    // The data directory; nothing when start-up failed.
    const std::optional<AppPaths>& paths() const { return paths_; }
    // The data directory's kind; `custom` when start-up failed.
    TaskDataEnvironment dataEnvironment() const;
    // Whether the scan timer runs.
    bool isTimerRunning() const;

    // ---- Derived values ----
    // "Velmora · " and the data environment's display name.
    QString windowTitle() const;
    // The tasks the list shows now, in listing order: those that pass the
    // sidebar filter and contain the search query. A view with closed tasks
    // shows the pages read so far (the first when it was chosen, searched or
    // refreshed; more through fetchMoreTasks). The pointers stay valid until
    // tasksChanged, selectionChanged or searchTextChanged.
    std::vector<const TaskRecord*> visibleTasks() const;
    // Whether a view with closed tasks has more to read.
    bool canFetchMoreTasks() const;
    // Reads the next page of a view with closed tasks, appending to
    // visibleTasks; a failure becomes a notice and ends the reading until
    // the next refresh.
    void fetchMoreTasks();
    // The task the detail pane shows. Falls back to the first visible task and
    // then makes it the selected task key.
    std::optional<TaskRecord> selectedTask();
    // selectedTaskKeys that are visible now: what a delete would delete.
    TaskKeySet selectedVisibleTaskKeys() const;

    // ---- Operations ----
    // Reloads the open tasks, the counts, the pages of a view with closed
    // tasks and the history (assigning each only when it changed), warns once
    // about unreadable rows, and reconciles the selection. Skips the reload
    // when the store reports no change and no snooze has come due.
    void refresh();
    // The list's multi-selection changed.
    void updateTaskSelection(TaskKeySet keys);

    // Starts the scan timer unless it runs, then scans silently at once.
    void startWatching();
    // Switches automatic scanning on (starting the timer) or off (stopping it).
    void setWatching(bool watching);
    // The timer's tick: a silent scan while watching and visible.
    void scanTimerFired();
    // The program went to the background: no scans until it comes back.
    void enterBackground();
    // The program came to the foreground: scans resume when watching is on.
    void enterForeground();

    // One inbox pass. Silent passes report only refusals; every pass posts a
    // notification per receipt that created or updated tasks.
    void scanInbox(bool silent);
    // Imports receipt files chosen by the user and reports each in one notice.
    void importFiles(const std::vector<std::filesystem::path>& locations);
    // Imports the receipt JSON on the clipboard.
    void importFromPasteboard();

    // Tick or untick a step / change a status; a deferred refresh follows in
    // every case, also after a failure.
    void setStep(const std::string& taskKey, const std::string& stepID, bool completed);
    void setStatus(const std::string& taskKey, TaskStatus status,
                   std::optional<Timestamp> snoozedUntil);
    // Deletes the selected visible tasks (never hidden ones).
    void deleteSelectedTasks();

    // Copies the resume message and marks the task ready to resume. A message
    // that looks like it holds a secret is copied only when the user confirms
    // the alert; otherwise nothing changes.
    void copyResumeMessage(const TaskRecord& task);
    // Copies the resume message (asking first, as above) and asks Codex to
    // open the agent's thread.
    void copyAndReturnToCodex(const TaskRecord& task);
    // Opens the Codex application; false when it is not installed or refused.
    bool openCodexApplication();
    // Opens Codex for the detail view, explaining in a notice when it cannot.
    void openCodexOrExplain();

    // Small services for the views. What the desktop cannot open (a missing
    // folder, no file manager, no terminal) becomes a notice saying why.
    void copyText(const QString& text);
    void openInbox();
    void openDataDirectory();
    void openProjectFolder(const TaskRecord& task);
    void openTerminal(const QString& workingDirectory = {});
    // How to add the kestrin-mcp beside this program to each agent, with the
    // result tool on and this store's KESTRIN_HOME unless it is the default.
    std::vector<AgentConnectionGuide::Entry> agentConnections() const;
    // Continues the task's agent session in a terminal in its project
    // (SessionResumeCommand); explains in a notice with the command when no
    // terminal takes it. Nothing for a task without a resumable session.
    void continueInTerminal(const TaskRecord& task);

    // ---- Data commands ----
    // "当前环境：…\n当前数据库：…", used in the data commands' alerts and notices.
    QString currentDataContext() const;
    // Asks before a restore from `source`; true only when the user confirmed.
    bool confirmRestore(const QString& title, const QString& source, const QString& message);
    void exportArchive();
    void restoreArchive();
    void createDatabaseBackup();
    void restoreDatabaseBackup();

    // Shows `error`'s own description under `title`.
    template <typename Error>
    void present(const Error& error, const QString& title) {
        showNotice(title, QString::fromStdString(error.description()));
    }

signals:
    void tasksChanged();
    void historyChanged();
    void selectionChanged();
    void selectedTaskKeyChanged();
    void selectedTaskKeysChanged();
    void searchTextChanged();
    void isShowingImporterChanged();
    void isShowingDeleteConfirmationChanged();
    void noticeChanged();
    void isWatchingChanged();
    // Progress of an archive export or restore, from its start (0 of 0) to its
    // end (finished), for a progress dialog. Emitted synchronously while the
    // command runs on the main thread.
    void dataCommandProgressChanged(const kestrin::DataCommandProgress& progress);

private:
    bool start();
    // Reads tasks and history; false (with a notice) when the store failed.
    bool reload(Timestamp now);
    void reconcileSelection();
    // The pages of a view with closed tasks read so far. A deque, so that
    // reading more leaves the pointers into it valid.
    struct Pages {
        std::deque<TaskRecord> tasks;
        std::int64_t next = 0;
        bool isComplete = true;
        bool operator==(const Pages&) const = default;
    };
    // The first `limit` visible tasks of the current view afresh: nothing for a
    // view without closed tasks.
    Result<Pages, StoreError> readPages(std::size_t limit) const;
    // Reads the current view's first page afresh, after the filter or the
    // search changed.
    void restartPages();
    void assignPages(Pages pages);
    // Starts reading the current view's next page ahead, when it has one and
    // is not a search; otherwise forgets any page read ahead.
    void readAhead();
    TaskSearchFilter searchFilter() const;
    // Assigns the open list (records read now or kept from tasks_, moved in
    // when the list changed) and the counts; true when either changed.
    bool assignTasks(const std::vector<TaskRecord*>& records, SidebarCounts counts);
    void scheduleDeferredRefresh();
    void notifyIfNeeded(const ImportOutcome& outcome);
    // False when the user kept a message with a secret off the clipboard.
    bool writeResumeMessage(const TaskRecord& task);
    // Opens `path` in the file manager, or presents why not under `failureTitle`.
    void openFolder(const QString& path, const QString& failureTitle);
    bool isVisible(const TaskRecord& task) const;
    const TaskRecord* visibleTaskWithKey(const std::string& key) const;
    const TaskRecord* firstVisibleTask() const;
    const QString& searchIndexEntry(std::size_t position) const;

    AppPlatform platform_;

    TaskList tasks_;
    SidebarCounts counts_;
    Pages pages_;
    Pages retiredPages_;
    // Task key -> its record in pages_.
    std::unordered_map<std::string, const TaskRecord*> pagedTasksByKey_;
    HistoryList history_;
    SidebarSelection selection_;
    OptionalTaskKey selectedTaskKey_;
    TaskKeySet selectedTaskKeys_;
    QString searchText_;
    bool isShowingImporter_ = false;
    bool isShowingDeleteConfirmation_ = false;
    OptionalNotice notice_;
    std::map<std::string, QString> notes_;
    TaskKeySet unsavedNotes_;
    QTimer* noteSaveTimer_;
    bool isWatching_ = true;
    bool windowVisible_ = true;
    std::optional<AppPaths> paths_;
    std::unique_ptr<SQLiteTaskStore> store_;
    std::unique_ptr<PageReadAhead> pageReadAhead_;
    std::unique_ptr<ReceiptImporter> importer_;
    std::unique_ptr<InboxScanner> inboxScanner_;
    std::optional<std::string> skippedNoticeSuppressionKey_;
    std::optional<TaskDataEnvironment> dataEnvironment_;

    // What the last successful reload saw, to skip reloads of an unchanged store.
    std::optional<SQLiteTaskStore::ChangeToken> loadedToken_;
    // The open rows' states as last loaded, by task key: a reload reads again
    // only the tasks whose state changed.
    std::unordered_map<std::string, TaskRowState> loadedStates_;
    // The earliest wake-up time among the loaded snoozed tasks: listing wakes
    // them without any write, so the store's token cannot announce it.
    std::optional<Timestamp> nextWakeUp_;
    // Task key -> position in tasks_.
    std::unordered_map<std::string, std::size_t> taskPositions_;
    // The search query (trimmed, lower-cased) and the tasks' search texts,
    // built on the first search after the tasks changed.
    QString searchQuery_;
    mutable std::vector<QString> searchIndex_;
    // The search texts of rows a search in a view with closed tasks has read,
    // by row id, up to searchTextsKept; dropped whenever the store changed.
    mutable std::unordered_map<std::int64_t, QString> pagedSearchTexts_;
};

}  // namespace kestrin
