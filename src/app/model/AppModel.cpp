#include "app/model/AppModel.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <span>

#include "app/model/PlatformTexts.h"
#include "app/model/QtText.h"
#include "core/handback/ResumeMessageBuilder.h"
#include "core/handback/ResumeMessageGuard.h"
#include "core/handback/SessionResumeCommand.h"
#include "core/handback/SourceLinkResolver.h"
#include "core/handback/TaskListPolicy.h"
#include "core/intake/InboxScanner.h"
#include "core/intake/ReceiptImporter.h"

namespace kestrin {
namespace {

// Search texts and queries are compared lower-cased and in composed form, so
// that "é" typed one way finds "é" stored the other way.
QString searchForm(const QString& text) {
    return text.toLower().normalized(QString::NormalizationForm_C);
}

// The six values a task is found by: item title and reason, project name,
// agent task title, agent and category display names. Open tasks are searched
// in memory, the others by the store, both through this text.
QString searchTextOf(const TaskSearchFields& fields) {
    const QStringList values{toQString(fields.title),
                             toQString(fields.reason),
                             toQString(fields.projectName),
                             toQString(fields.sourceTaskTitle),
                             toQString(displayName(fields.agent)),
                             toQString(displayName(fields.category))};
    return searchForm(values.join(QLatin1Char(' ')));
}

QString searchTextOf(const TaskRecord& task) {
    return searchTextOf(task.searchFields());
}

// The store's selection behind a view with closed tasks.
TaskSelection pagedSelection(const SidebarSelection& selection) {
    if (const auto* status = std::get_if<TaskStatus>(&selection.value())) {
        return {false, *status, std::nullopt};
    }
    return {true, std::nullopt, std::nullopt};
}

// What the sidebar counts among the open tasks.
SidebarCounts openCounts(const std::vector<TaskRecord*>& tasks) {
    SidebarCounts counts;
    counts.all = std::int64_t(tasks.size());
    for (const TaskRecord* task : tasks) {
        if (isAttentionStatus(task->status)) ++counts.attention;
        ++counts.byStatus[task->status];
        ++counts.byProject[task->project.name];
    }
    return counts;
}

}  // namespace

AppModel::AppModel(AppPlatform platform, QObject* parent)
    : QObject(parent), platform_(std::move(platform)), noteSaveTimer_(new QTimer(this)) {
    noteSaveTimer_->setSingleShot(true);
    noteSaveTimer_->setInterval(noteSaveDelay);
    connect(noteSaveTimer_, &QTimer::timeout, this, &AppModel::saveNotes);
    if (!start()) return;
    refresh();
    if (platform_.notifications->isAvailable()) platform_.notifications->requestAuthorization();
}

AppModel::~AppModel() {
    saveNotes();
}

bool AppModel::start() {
    auto paths = AppPaths::defaultPaths(platform_.environment);
    if (!paths) {
        present(paths.error(), QStringLiteral("无法启动本地任务库"));
        return false;
    }
    if (auto created = paths->ensureDirectories(); !created) {
        present(created.error(), QStringLiteral("无法启动本地任务库"));
        return false;
    }
    auto store = SQLiteTaskStore::open(paths->database());
    if (!store) {
        present(store.error(), QStringLiteral("无法启动本地任务库"));
        return false;
    }
    paths_ = std::move(paths).value();
    dataEnvironment_ = paths_->dataEnvironment(platform_.environment);
    store_ = std::move(store).value();
    pageReadAhead_ = std::make_unique<PageReadAhead>(store_->path());
    importer_ = std::make_unique<ReceiptImporter>(*store_);
    inboxScanner_ = std::make_unique<InboxScanner>(*paths_, *importer_);
    return true;
}

// ---- Observed state ----

void AppModel::setSelection(SidebarSelection selection) {
    if (selection_ == selection) return;
    selection_ = std::move(selection);
    restartPages();
    emit selectionChanged();
}

void AppModel::setSelectedTaskKey(OptionalTaskKey key) {
    if (selectedTaskKey_ == key) return;
    selectedTaskKey_ = std::move(key);
    emit selectedTaskKeyChanged();
}

void AppModel::setSelectedTaskKeys(TaskKeySet keys) {
    if (selectedTaskKeys_ == keys) return;
    selectedTaskKeys_ = std::move(keys);
    emit selectedTaskKeysChanged();
}

void AppModel::setSearchText(const QString& text) {
    if (searchText_ == text) return;
    searchText_ = text;
    const QString query = searchForm(text.trimmed());
    const bool restart = query != searchQuery_;
    searchQuery_ = query;
    if (restart) restartPages();
    emit searchTextChanged();
}

void AppModel::setShowingImporter(bool showing) {
    if (isShowingImporter_ == showing) return;
    isShowingImporter_ = showing;
    emit isShowingImporterChanged();
}

void AppModel::setShowingDeleteConfirmation(bool showing) {
    if (isShowingDeleteConfirmation_ == showing) return;
    isShowingDeleteConfirmation_ = showing;
    emit isShowingDeleteConfirmationChanged();
}

void AppModel::setNotice(OptionalNotice notice) {
    if (notice_ == notice) return;
    notice_ = std::move(notice);
    emit noticeChanged();
}

void AppModel::showNotice(const QString& title, const QString& message) {
    setNotice(AppNotice::make(title, message));
}

QString AppModel::note(const std::string& taskKey) const {
    if (auto found = notes_.find(taskKey); found != notes_.end()) return found->second;
    if (!store_) return {};
    auto stored = store_->note(taskKey);
    return stored ? toQString(*stored) : QString();
}

void AppModel::setNote(const std::string& taskKey, const QString& text) {
    notes_[taskKey] = text;
    unsavedNotes_.insert(taskKey);
    noteSaveTimer_->start();
}

void AppModel::saveNotes() {
    noteSaveTimer_->stop();
    if (!store_) return;
    for (auto key = unsavedNotes_.begin(); key != unsavedNotes_.end();) {
        auto saved = store_->setNote(*key, notes_[*key].toStdString());
        // A task deleted meanwhile takes its note with it.
        if (saved || saved.error().kind == StoreError::Kind::missingTask) {
            key = unsavedNotes_.erase(key);
            continue;
        }
        present(saved.error(), QStringLiteral("无法保存备注"));
        return;
    }
}

TaskDataEnvironment AppModel::dataEnvironment() const {
    return dataEnvironment_.value_or(TaskDataEnvironment::custom);
}

bool AppModel::isTimerRunning() const {
    return platform_.timer->isRunning();
}

// ---- Derived values ----

QString AppModel::windowTitle() const {
    return QStringLiteral("Velmora · ") + toQString(displayName(dataEnvironment()));
}

const QString& AppModel::searchIndexEntry(std::size_t position) const {
    if (searchIndex_.size() != tasks_.size()) {
        searchIndex_.clear();
        searchIndex_.reserve(tasks_.size());
        for (const TaskRecord& task : tasks_) searchIndex_.push_back(searchTextOf(task));
    }
    return searchIndex_[position];
}

bool AppModel::isVisible(const TaskRecord& task) const {
    if (!selection_.includes(task)) return false;
    if (searchQuery_.isEmpty()) return true;
    return searchIndexEntry(taskPositions_.at(task.taskKey)).contains(searchQuery_);
}

std::vector<const TaskRecord*> AppModel::visibleTasks() const {
    std::vector<const TaskRecord*> visible;
    if (selection_.includesClosedTasks()) {
        for (const TaskRecord& task : pages_.tasks) visible.push_back(&task);
        return visible;
    }
    for (const TaskRecord& task : tasks_) {
        if (isVisible(task)) visible.push_back(&task);
    }
    return visible;
}

bool AppModel::canFetchMoreTasks() const {
    return selection_.includesClosedTasks() && !pages_.isComplete;
}

void AppModel::fetchMoreTasks() {
    if (!store_ || !canFetchMoreTasks()) return;
    auto ready = pageReadAhead_->take(pagedSelection(selection_), pages_.next);
    auto page = ready ? Result<TaskPage, StoreError>(std::move(*ready))
                      : store_->listTaskPage(pagedSelection(selection_), pages_.next, pageSize,
                                             searchFilter(), searchChunkRows);
    if (!page) {
        pages_.isComplete = true;
        present(page.error(), QStringLiteral("无法读取任务"));
        return;
    }
    for (TaskRecord& task : page->tasks) {
        const TaskRecord& added = pages_.tasks.emplace_back(std::move(task));
        pagedTasksByKey_.emplace(added.taskKey, &added);
    }
    pages_.next = page->next;
    pages_.isComplete = page->isLast;
    readAhead();
    // The first rows of a search may arrive only now.
    reconcileSelection();
}

void AppModel::readAhead() {
    if (selection_.includesClosedTasks() && searchQuery_.isEmpty() && !pages_.isComplete) {
        pageReadAhead_->start(pagedSelection(selection_), pages_.next, pageSize);
    } else {
        // A search's pages may reach the position an unfiltered read began at.
        pageReadAhead_->drop();
    }
}

const TaskRecord* AppModel::visibleTaskWithKey(const std::string& key) const {
    if (selection_.includesClosedTasks()) {
        auto found = pagedTasksByKey_.find(key);
        return found == pagedTasksByKey_.end() ? nullptr : found->second;
    }
    auto found = taskPositions_.find(key);
    if (found == taskPositions_.end()) return nullptr;
    const TaskRecord& task = tasks_[found->second];
    return isVisible(task) ? &task : nullptr;
}

const TaskRecord* AppModel::firstVisibleTask() const {
    if (selection_.includesClosedTasks()) {
        return pages_.tasks.empty() ? nullptr : &pages_.tasks.front();
    }
    for (const TaskRecord& task : tasks_) {
        if (isVisible(task)) return &task;
    }
    return nullptr;
}

TaskSearchFilter AppModel::searchFilter() const {
    if (searchQuery_.isEmpty()) return {};
    return {[this, query = searchQuery_](const TaskSearchFields& fields) {
                QString text = searchTextOf(fields);
                const bool matches = text.contains(query);
                if (pagedSearchTexts_.size() < searchTextsKept) {
                    pagedSearchTexts_.emplace(fields.rowID, std::move(text));
                }
                return matches;
            },
            [this, query = searchQuery_](std::int64_t rowID) -> std::optional<bool> {
                auto found = pagedSearchTexts_.find(rowID);
                if (found == pagedSearchTexts_.end()) return std::nullopt;
                return found->second.contains(query);
            }};
}

Result<AppModel::Pages, StoreError> AppModel::readPages(std::size_t limit) const {
    if (!selection_.includesClosedTasks()) return Pages{};
    auto page =
        store_->listTaskPage(pagedSelection(selection_), 0, limit, searchFilter(), searchChunkRows);
    if (!page) return fail(page.error());
    return Pages{{std::make_move_iterator(page->tasks.begin()),
                  std::make_move_iterator(page->tasks.end())},
                 page->next,
                 page->isLast};
}

void AppModel::restartPages() {
    if (!store_) return;
    auto pages = readPages(pageSize);
    if (!pages) {
        present(pages.error(), QStringLiteral("无法读取任务"));
        pages = Pages{};
    }
    assignPages(std::move(pages).value());
}

void AppModel::assignPages(Pages pages) {
    // The task list points into the pages it shows until it reloads on the
    // signal that follows this change, and other handlers of that signal may
    // run first: the pages replaced stay alive until the next change.
    retiredPages_ = std::move(pages_);
    pages_ = std::move(pages);
    pagedTasksByKey_.clear();
    for (const TaskRecord& task : pages_.tasks) pagedTasksByKey_.emplace(task.taskKey, &task);
    readAhead();
}

std::optional<TaskRecord> AppModel::selectedTask() {
    if (selectedTaskKey_) {
        if (const TaskRecord* task = visibleTaskWithKey(*selectedTaskKey_)) return *task;
    }
    // "Any one element" of the multi-selection: the first in key order.
    if (!selectedTaskKeys_.empty()) {
        if (const TaskRecord* task = visibleTaskWithKey(*selectedTaskKeys_.begin())) return *task;
    }
    const TaskRecord* first = firstVisibleTask();
    if (first == nullptr) return std::nullopt;
    setSelectedTaskKey(first->taskKey);
    return *first;
}

TaskKeySet AppModel::selectedVisibleTaskKeys() const {
    TaskKeySet keys;
    for (const std::string& key : selectedTaskKeys_) {
        if (visibleTaskWithKey(key) != nullptr) keys.insert(key);
    }
    return keys;
}

// ---- Refresh ----

void AppModel::refresh() {
    if (!store_) return;
    const Timestamp now = platform_.clock();
    auto token = store_->changeToken();
    const bool unchanged =
        token && loadedToken_ && *token == *loadedToken_ && !(nextWakeUp_ && *nextWakeUp_ <= now);
    if (!unchanged) {
        // The token is taken before the reload: a write landing in between is
        // then seen again by the next refresh rather than missed.
        loadedToken_.reset();
        if (reload(now) && token) loadedToken_ = *token;
    }
    reconcileSelection();
}

bool AppModel::reload(Timestamp now) {
    // The open tasks' states first (reading them wakes the snoozed tasks that
    // are due); only the tasks whose state changed are read again.
    auto states = store_->openTaskStates(now);
    if (!states) {
        present(states.error(), QStringLiteral("无法读取任务"));
        return false;
    }
    std::vector<std::string> changedKeys;
    std::vector<bool> isChanged;
    isChanged.reserve(states->size());
    for (const TaskRowState& state : *states) {
        auto known = loadedStates_.find(state.taskKey);
        isChanged.push_back(known == loadedStates_.end() || known->second != state);
        if (isChanged.back()) changedKeys.push_back(state.taskKey);
    }
    auto changed = store_->tasks(changedKeys);
    if (!changed) {
        present(changed.error(), QStringLiteral("无法读取任务"));
        return false;
    }
    // Closed tasks are counted, not read. SQLite counts every row far faster
    // than the rows of one status, so the completed ones are what is left of
    // all tasks once the open and the cancelled ones are taken away. Reading
    // the states woke the due snoozed tasks already.
    const auto count = [&](const TaskSelection& selection)
        -> std::optional<std::pair<std::int64_t, std::int64_t>> {
        auto counted = store_->countTasks(selection);
        if (!counted) {
            present(counted.error(), QStringLiteral("无法读取任务"));
            return std::nullopt;
        }
        return std::pair{*counted, store_->lastSkippedTaskRowCount()};
    };
    const auto open = count({});
    const auto all = open ? count({true, std::nullopt, std::nullopt}) : std::nullopt;
    const auto cancelled =
        all ? count({false, TaskStatus::cancelled, std::nullopt}) : std::nullopt;
    if (!cancelled) return false;
    // The open list in the states' order: a changed task as read now, an
    // unchanged one as kept; a row in neither could not be read.
    std::unordered_map<std::string_view, TaskRecord*> fresh;
    for (TaskRecord& task : *changed) fresh.emplace(task.taskKey, &task);
    std::vector<TaskRecord*> records;
    records.reserve(states->size());
    for (std::size_t i = 0; i < states->size(); ++i) {
        const std::string& key = (*states)[i].taskKey;
        if (isChanged[i]) {
            auto found = fresh.find(key);
            if (found != fresh.end()) records.push_back(found->second);
        } else if (auto kept = taskPositions_.find(key); kept != taskPositions_.end()) {
            records.push_back(&tasks_[kept->second]);
        }
    }
    // Unreadable open rows as the decoder found them; the closed ones as SQL
    // finds them among all rows but the open ones.
    const std::int64_t skipped =
        std::int64_t(states->size() - records.size()) + all->second - open->second;
    SidebarCounts counts = openCounts(records);
    counts.byStatus[TaskStatus::completed] = all->first - open->first - cancelled->first;
    counts.byStatus[TaskStatus::cancelled] = cancelled->first;
    counts.all += all->first - open->first;
    // Row ids may now name other rows, or rows with other texts.
    pagedSearchTexts_.clear();
    // A view with closed tasks keeps as many rows as it had read.
    auto pages = readPages(std::max(pageSize, pages_.tasks.size()));
    if (!pages) {
        present(pages.error(), QStringLiteral("无法读取任务"));
        return false;
    }
    auto history = store_->receiptHistory(historyLimit);
    if (!history) {
        present(history.error(), QStringLiteral("无法读取任务"));
        return false;
    }
    const bool pagesChanged = pages_ != *pages;
    if (pagesChanged) {
        assignPages(std::move(pages).value());
    } else {
        readAhead();  // the page read ahead may hold rows as they were
    }
    if (assignTasks(records, std::move(counts)) || pagesChanged) emit tasksChanged();
    loadedStates_.clear();
    for (TaskRowState& state : *states) {
        std::string key = state.taskKey;
        loadedStates_.emplace(std::move(key), std::move(state));
    }
    if (history_ != *history) {
        history_ = std::move(history).value();
        emit historyChanged();
    }
    if (skipped >= 1) {
        const std::string key = std::to_string(skipped) + "-" + std::to_string(counts_.all);
        if (key != skippedNoticeSuppressionKey_) {
            skippedNoticeSuppressionKey_ = key;
            showNotice(QStringLiteral("部分记录无法解析"),
                       QStringLiteral("任务库中有 ") + QString::number(skipped) +
                           QStringLiteral(" 条记录无法被当前版本读取（可能由更新版本的 App "
                                          "写入）。其余功能不受影响；这些记录已从列表中隐藏。"));
        }
    }
    return true;
}

bool AppModel::assignTasks(const std::vector<TaskRecord*>& records, SidebarCounts counts) {
    const bool countsChanged = counts_ != counts;
    counts_ = std::move(counts);
    nextWakeUp_.reset();
    for (const TaskRecord* task : records) {
        if (task->status == TaskStatus::snoozed && task->snoozedUntil &&
            (!nextWakeUp_ || *task->snoozedUntil < *nextWakeUp_)) {
            nextWakeUp_ = task->snoozedUntil;
        }
    }
    // A kept record in its old place is unchanged; only the others are compared.
    bool same = records.size() == tasks_.size();
    for (std::size_t i = 0; same && i < records.size(); ++i) {
        same = records[i] == &tasks_[i] || *records[i] == tasks_[i];
    }
    if (same) return countsChanged;
    TaskList tasks;
    tasks.reserve(records.size());
    for (TaskRecord* task : records) tasks.push_back(std::move(*task));
    tasks_ = std::move(tasks);
    taskPositions_.clear();
    taskPositions_.reserve(tasks_.size());
    for (std::size_t i = 0; i < tasks_.size(); ++i) taskPositions_.emplace(tasks_[i].taskKey, i);
    searchIndex_.clear();
    return true;
}

void AppModel::reconcileSelection() {
    TaskKeySet kept;
    for (const std::string& key : selectedTaskKeys_) {
        if (taskPositions_.contains(key) || pagedTasksByKey_.contains(key)) kept.insert(key);
    }
    setSelectedTaskKeys(std::move(kept));

    if (const std::string* project = selection_.projectName();
        project != nullptr && !TaskListPolicy::hasVisibleTasks(*project, tasks_)) {
        setSelection(SidebarSelection::attention());
    }

    // The policy looks only at the list it is given: the selected task when it
    // is visible, else the first visible task, which is all it would pick from.
    const TaskRecord* shown = selectedTaskKey_ ? visibleTaskWithKey(*selectedTaskKey_) : nullptr;
    if (shown == nullptr) shown = firstVisibleTask();
    const auto candidates =
        shown == nullptr ? std::span<const TaskRecord>() : std::span<const TaskRecord>(shown, 1);
    setSelectedTaskKey(TaskListPolicy::reconciledSelectedTaskKey(selectedTaskKey_, candidates));
}

void AppModel::updateTaskSelection(TaskKeySet keys) {
    setSelectedTaskKeys(std::move(keys));
    if (selectedTaskKey_ && selectedTaskKeys_.contains(*selectedTaskKey_)) return;
    setSelectedTaskKey(selectedTaskKeys_.empty() ? OptionalTaskKey()
                                                 : OptionalTaskKey(*selectedTaskKeys_.begin()));
}

void AppModel::scheduleDeferredRefresh() {
    // The service drops the call when the model (its owner) is gone first.
    platform_.deferredCalls->post([this] { refresh(); });
}

// ---- Watching ----

void AppModel::startWatching() {
    if (platform_.timer->isRunning()) return;
    platform_.timer->start(scanInterval, scanTolerance, [this] { scanTimerFired(); });
    scanInbox(true);
}

void AppModel::setWatching(bool watching) {
    if (isWatching_ != watching) {
        isWatching_ = watching;
        emit isWatchingChanged();
    }
    if (watching) {
        startWatching();
    } else {
        platform_.timer->stop();
    }
}

void AppModel::scanTimerFired() {
    if (isWatching_ && windowVisible_) scanInbox(true);
}

void AppModel::enterBackground() {
    windowVisible_ = false;
    platform_.timer->stop();
}

void AppModel::enterForeground() {
    windowVisible_ = true;
    if (isWatching_) startWatching();
}

// ---- Imports ----

void AppModel::notifyIfNeeded(const ImportOutcome& outcome) {
    if (!outcome.createsNotification() || !platform_.notifications->isAvailable()) return;
    const InterventionReceipt& receipt = outcome.receipt;
    QStringList titles;
    for (const InterventionItem& item : receipt.items) titles << toQString(item.title);
    platform_.notifications->post(DesktopNotification{
        toQString(receipt.receiptId) + QStringLiteral("-v") + QString::number(receipt.version),
        toQString(receipt.project.name) + QStringLiteral(" 需要你介入"),
        titles.join(QStringLiteral("、"))});
}

void AppModel::scanInbox(bool silent) {
    if (!inboxScanner_) return;
    auto events = inboxScanner_->scanOnce();
    if (!events) {
        if (!silent) present(events.error(), QStringLiteral("无法扫描收件箱"));
        return;
    }
    if (events->empty()) {
        refresh();
        if (!silent) {
            showNotice(QStringLiteral("收件箱已检查"), QStringLiteral("当前没有新的 JSON 回执。"));
        }
        return;
    }
    QStringList lines;
    bool anyRejected = false;
    for (const InboxScanEvent& event : *events) {
        const QString name = toQString(event.filename) + QStringLiteral("：");
        const InboxScanEvent::Result& result = event.result;
        switch (result.kind) {
            case InboxScanEvent::Result::Kind::accepted:
                lines << name + toQString(result.outcome->userMessage());
                notifyIfNeeded(*result.outcome);
                break;
            case InboxScanEvent::Result::Kind::acceptedButArchivingFailed:
                lines << name + toQString(result.outcome->userMessage()) +
                             QStringLiteral(
                                 "（注意：归档到 processed 目录失败，文件仍留在收件箱，"
                                 "下轮扫描会重试。原因：") +
                             toQString(result.reason) + QStringLiteral("）");
                notifyIfNeeded(*result.outcome);
                break;
            case InboxScanEvent::Result::Kind::rejected:
                lines << name + QStringLiteral("已拒收，") + toQString(result.reason);
                anyRejected = true;
                break;
        }
    }
    refresh();
    if (silent && !anyRejected) return;
    showNotice(QStringLiteral("收件箱处理完成"), lines.join(QLatin1Char('\n')));
}

void AppModel::importFiles(const std::vector<std::filesystem::path>& locations) {
    if (!importer_) return;
    // Files chosen in a panel are readable as they are: there is no
    // security-scoped access to begin or end on this platform.
    QStringList lines;
    for (const std::filesystem::path& location : locations) {
        const QString name = toQString(location.filename().string()) + QStringLiteral("：");
        auto outcome = importer_->importFile(location);
        if (!outcome) {
            lines << name + toQString(outcome.error().description());
            continue;
        }
        lines << name + toQString(outcome->userMessage());
        notifyIfNeeded(*outcome);
    }
    refresh();
    showNotice(QStringLiteral("导入结果"), lines.join(QLatin1Char('\n')));
}

void AppModel::importFromPasteboard() {
    const std::optional<QString> text = platform_.pasteboard->readString();
    if (!text) {
        showNotice(QStringLiteral("剪贴板没有 JSON"),
                   QStringLiteral("先从 Agent 复制完整的回执 JSON，再回到这里导入。"));
        return;
    }
    if (!importer_) return;
    const QByteArray bytes = text->toUtf8();
    auto outcome = importer_->importData(std::string_view(bytes.constData(), bytes.size()));
    if (!outcome) {
        present(outcome.error(), QStringLiteral("剪贴板回执被拒收"));
        return;
    }
    refresh();
    showNotice(QStringLiteral("剪贴板导入完成"), toQString(outcome->userMessage()));
    notifyIfNeeded(*outcome);
}

// ---- Task changes ----

void AppModel::setStep(const std::string& taskKey, const std::string& stepID, bool completed) {
    if (store_) {
        if (auto done = store_->setStepCompleted(taskKey, stepID, completed); !done) {
            present(done.error(), QStringLiteral("无法更新步骤"));
        }
    }
    scheduleDeferredRefresh();
}

void AppModel::setStatus(const std::string& taskKey, TaskStatus status,
                         std::optional<Timestamp> snoozedUntil) {
    if (store_) {
        if (auto done = store_->setStatus(taskKey, status, snoozedUntil); !done) {
            present(done.error(), QStringLiteral("无法更新状态"));
        }
    }
    scheduleDeferredRefresh();
}

void AppModel::deleteSelectedTasks() {
    const TaskKeySet keys = selectedVisibleTaskKeys();
    if (keys.empty()) {
        setShowingDeleteConfirmation(false);
        return;
    }
    if (store_) {
        if (auto deleted = store_->deleteTasks(keys); !deleted) {
            present(deleted.error(), QStringLiteral("无法删除事项"));
            setShowingDeleteConfirmation(false);
            return;
        }
    }
    setSelectedTaskKeys({});
    setSelectedTaskKey(std::nullopt);
    scheduleDeferredRefresh();
    showNotice(QStringLiteral("已删除 ") + QString::number(keys.size()) + QStringLiteral(" 项"),
               QStringLiteral("任务已从当前列表永久删除；对应回执仍保留在“回执历史”中。"));
    setShowingDeleteConfirmation(false);
}

// ---- Hand-back ----

bool AppModel::writeResumeMessage(const TaskRecord& task) {
    // Stored before the status changes: an agent reading the result sees the
    // hand-back only together with its note.
    saveNotes();
    const std::string notes = note(task.taskKey).toStdString();
    const std::string message = ResumeMessageBuilder().build(task, notes);
    // The clipboard's next stop is the agent: a secret goes only by choice.
    if (const auto secret = ResumeMessageGuard().check(message)) {
        const bool copyAnyway = platform_.alerts->confirm(
            ConfirmationRequest{QStringLiteral("仍要复制恢复消息吗？"), toQString(secret->description()),
                                QStringLiteral("仍然复制"), QStringLiteral("不复制")});
        if (!copyAnyway) return false;
    }
    platform_.pasteboard->writeString(toQString(message));
    setStatus(task.taskKey, TaskStatus::readyToResume, std::nullopt);
    return true;
}

void AppModel::copyResumeMessage(const TaskRecord& task) {
    writeResumeMessage(task);
}

void AppModel::copyAndReturnToCodex(const TaskRecord& task) {
    if (task.completedStepCount() != task.totalStepCount()) {
        showNotice(QStringLiteral("还有步骤未完成"),
                   QStringLiteral("请按顺序完成并核对所有步骤，再生成恢复消息。"));
        return;
    }
    const SourceLinkResolution resolution = SourceLinkResolver().resolve(task.source);
    if (!resolution.url) {
        if (!writeResumeMessage(task)) return;
        showNotice(QStringLiteral("恢复消息已复制"),
                   resolution.reason ? toQString(*resolution.reason)
                                     : QStringLiteral("无法定位原 Codex 任务；请手动打开 "
                                                      "Codex，再粘贴恢复消息。"));
        return;
    }
    if (!writeResumeMessage(task)) return;
    if (!platform_.workspace->openURL(QUrl(toQString(*resolution.url)))) {
        openCodexApplication();
        showNotice(QStringLiteral("恢复消息已复制，但未定位原任务"),
                   QStringLiteral("Codex 深链接没有成功打开。请在 Codex 中手动进入原任务，按 ") +
                       PlatformTexts::pasteShortcut() +
                       QStringLiteral(" 粘贴并检查后，再按 Return 发送。"));
        return;
    }
    showNotice(QStringLiteral("已复制，并已请求 Codex 打开任务"),
               QStringLiteral("Codex 已接收深链接请求，但 Velmora "
                              "无法确认是否定位正确。请先核对当前是否为原任务，然后按 ") +
                   PlatformTexts::pasteShortcut() +
                   QStringLiteral(" 粘贴，检查恢复消息，最后按 Return 发送。"));
}

bool AppModel::openCodexApplication() {
    return platform_.workspace->openCodexApplication();
}

void AppModel::openCodexOrExplain() {
    if (openCodexApplication()) return;
    showNotice(QStringLiteral("没有找到 Codex"),
               QStringLiteral("请手动打开 Codex，再进入原任务并粘贴恢复消息。"));
}

// ---- Small services for the views ----

void AppModel::copyText(const QString& text) {
    platform_.pasteboard->writeString(text);
}

void AppModel::openFolder(const QString& path, const QString& failureTitle) {
    auto opened = platform_.workspace->openFolder(path);
    if (!opened) present(opened.error(), failureTitle);
}

void AppModel::openInbox() {
    if (paths_) openFolder(toQString(paths_->inbox().string()), QStringLiteral("无法打开恢复收件箱"));
}

void AppModel::openDataDirectory() {
    if (paths_) openFolder(toQString(paths_->root().string()), QStringLiteral("无法显示当前任务库"));
}

void AppModel::openProjectFolder(const TaskRecord& task) {
    openFolder(toQString(task.project.path), QStringLiteral("无法打开项目文件夹"));
}

void AppModel::openTerminal(const QString& workingDirectory) {
    auto opened = platform_.workspace->openTerminal(workingDirectory);
    if (!opened) present(opened.error(), QStringLiteral("无法打开终端"));
}

std::vector<AgentConnectionGuide::Entry> AppModel::agentConnections() const {
    std::optional<std::filesystem::path> home;
    if (paths_ && dataEnvironment() != TaskDataEnvironment::standard) home = paths_->root();
    const std::filesystem::path program = QCoreApplication::applicationFilePath().toStdString();
    return AgentConnectionGuide(AgentConnectionGuide::serverBeside(program), home).entries();
}

void AppModel::continueInTerminal(const TaskRecord& task) {
    const auto command = SessionResumeCommand::forTask(task);
    if (!command) return;
    QStringList arguments;
    for (const auto& argument : command->arguments) arguments << toQString(argument);
    if (!platform_.workspace->runInTerminal(arguments, toQString(command->workingDirectory))) {
        showNotice(QStringLiteral("无法打开终端"),
                   QStringLiteral("请在终端里运行：\n") + toQString(command->shellLine()));
    }
}

}  // namespace kestrin
