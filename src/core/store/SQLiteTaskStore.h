#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/store/ArchiveFailure.h"
#include "core/store/ArchivedReceipt.h"
#include "core/store/ArchivedTaskState.h"
#include "core/receipt/InterventionReceipt.h"
#include "core/store/ReceiptHistoryRecord.h"
#include "core/receipt/ReceiptJSON.h"
#include "core/support/Result.h"
#include "core/store/SQLValue.h"
#include "core/store/SQLiteConnection.h"
#include "core/store/StoreError.h"
#include "core/store/StoreImportResult.h"
#include "core/store/TaskRecord.h"
#include "core/store/TaskPage.h"
#include "core/store/TaskRowState.h"
#include "core/store/TaskSearchFilter.h"
#include "core/store/TaskSummary.h"
#include "core/store/TaskSelection.h"
#include "core/store/TaskStatus.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// The task database: one SQLite file shared by the desktop app and any number
// of MCP servers, each process with its own store. Every public operation holds
// the store's recursive lock for its whole run; every multi-statement write is
// one BEGIN IMMEDIATE transaction, rolled back as a whole on any failure.
// Not copyable; the connection closes when the store is destroyed.
class SQLiteTaskStore {
public:
    // The schema version this build writes and the highest it opens.
    static constexpr std::int64_t currentSchemaVersion = 1;

    // Opens or creates the database at `path` (creating missing parent
    // directories), switches on foreign keys and WAL, waits up to 2000 ms for
    // another connection's lock, and migrates the schema. Fails with `open`
    // (also when the directory cannot be created), `sqlite`, or
    // `unsupportedSchema` for a file written by a newer build, which is left
    // untouched. On failure nothing stays open.
    static Result<std::unique_ptr<SQLiteTaskStore>, StoreError> open(
        const std::filesystem::path& path);
    // Another connection to a database that open() has already set up, for
    // reading beside the first one (on another thread). It creates, migrates
    // and indexes nothing, so it never takes the write lock: a file that has
    // gone fails with `open`, and one whose tables are missing fails its reads.
    static Result<std::unique_ptr<SQLiteTaskStore>, StoreError> openForReading(
        const std::filesystem::path& path);

    ~SQLiteTaskStore();
    SQLiteTaskStore(const SQLiteTaskStore&) = delete;
    SQLiteTaskStore& operator=(const SQLiteTaskStore&) = delete;

    // `path` made absolute, with "." and ".." components removed: the form in
    // which database paths are compared.
    static std::filesystem::path standardizedPath(const std::filesystem::path& path);

    // The database file, standardised.
    const std::filesystem::path& path() const { return path_; }

    // The file's user_version, or 0 when it cannot be read.
    std::int64_t schemaVersion();

    // Task rows the most recent listTasks, countTasks or task() skipped because
    // they could not be read back (unknown values, undecodable or newer item
    // JSON).
    std::int64_t lastSkippedTaskRowCount() const;

    // The store's recursive lock. Callers that must run several operations as
    // one step (the importer around importReceipt) hold it themselves.
    std::recursive_mutex& lock() const { return lock_; }

    // Lower-case hexadecimal SHA-256 of `data` (64 characters).
    static std::string hash(std::string_view data);

    // Stores a decoded, validated receipt whose exact received bytes are
    // `rawData` and whose raw hash is `rawHash` (= hash(rawData)).
    // Per receipt identifier the stored version only moves forward:
    // - unknown identifier: inserted (noAction when it has no items);
    // - lower version stored: replaced, updated (or noAction); tasks of dropped
    //   items and ticks of vanished steps are deleted, every task is pending;
    // - higher version stored: stale, nothing written;
    // - same version: duplicate when the stored hash equals `rawHash`, else
    //   versionConflict; nothing written.
    // The decision is taken again under the database write lock; a different
    // document with this version written there by another process meanwhile
    // fails with `versionConflictUnderLock`. Non-UTF-8 `rawData` fails with
    // `decode`. Any failure leaves the database as it was.
    Result<StoreImportResult, StoreError> importReceipt(const InterventionReceipt& receipt,
                                                        std::string_view rawData,
                                                        const std::string& rawHash);

    // First wakes every snoozed task whose wake-up time is at or before `now`
    // (it becomes pending), then lists tasks: critical, high, medium, then low;
    // within one priority the most recently imported first. Without
    // `includeCompleted`, completed and cancelled tasks are left out. Unreadable
    // rows are skipped and counted in lastSkippedTaskRowCount().
    Result<std::vector<TaskRecord>, StoreError> listTasks(bool includeCompleted, Timestamp now) {
        return listTasks(TaskSelection{includeCompleted, std::nullopt, std::nullopt}, now);
    }
    // The same for the tasks of `selection`; only those rows are read, through
    // the status and project indexes.
    Result<std::vector<TaskRecord>, StoreError> listTasks(const TaskSelection& selection,
                                                          Timestamp now);

    // The tasks of `selection` in listing order from position `from` (0 for
    // the first page): up to `limit` tasks, only those `filter` (when set)
    // lets through, from at most `rowLimit` rows (a page that stops there
    // comes back short without being the last). Reads rows through the
    // listing indexes from that position on, so a page costs what it shows
    // plus, when filtering, the rows it passes over. Unreadable rows are
    // passed over. Snoozed tasks are not woken here: listTasks wakes them.
    Result<TaskPage, StoreError> listTaskPage(
        const TaskSelection& selection, std::int64_t from, std::size_t limit,
        const TaskSearchFilter& filter,
        std::int64_t rowLimit = std::numeric_limits<std::int64_t>::max());

    // Wakes due snoozed tasks as listTasks does, then the summaries of the
    // tasks of `selection` in listing order, for a listing that shows a line
    // per task: SQLite reads the few fields of each item, which is not
    // decoded. Rows are skipped and counted in lastSkippedTaskRowCount() as
    // countTasks tells them, and also when the item has no title or steps.
    Result<std::vector<TaskSummary>, StoreError> listTaskSummaries(const TaskSelection& selection,
                                                                   Timestamp now);

    // Wakes due snoozed tasks as listTasks does, then counts the tasks of
    // `selection` in SQL from the indexes, without reading them. Rows the
    // listing would skip are left out, and counted in
    // lastSkippedTaskRowCount(), as far as their stored values tell: unknown
    // agent, receipt state or status, item JSON that is not JSON or of a later
    // layout. (A well-formed item JSON that still fails to decode, which no
    // build writes, is counted.)
    Result<std::int64_t, StoreError> countTasks(const TaskSelection& selection, Timestamp now);
    // The same count as stored, without waking: for a caller that has just
    // woken them (listTasks, openTaskStates). Waking is a write, which waits
    // for any other program's write.
    Result<std::int64_t, StoreError> countTasks(const TaskSelection& selection);

    // Wakes due snoozed tasks as listTasks does, then the state of every open
    // task row, readable or not, in listing order, read from an index of the
    // open rows: a caller that keeps the open tasks re-reads only those whose
    // state changed.
    Result<std::vector<TaskRowState>, StoreError> openTaskStates(Timestamp now);

    // The readable tasks with these keys, in no particular order: missing
    // keys are left out, unreadable rows too (counted in
    // lastSkippedTaskRowCount()).
    Result<std::vector<TaskRecord>, StoreError> tasks(const std::vector<std::string>& taskKeys);

    // One task; `missingTask` when there is no readable row with that key.
    Result<TaskRecord, StoreError> task(const std::string& taskKey);

    // The most recently imported receipts, newest first, at most `limit` (a
    // negative limit means all). Rows with unknown values are left out.
    Result<std::vector<ReceiptHistoryRecord>, StoreError> receiptHistory(std::int64_t limit);

    // Sets status and wake-up time together; any transition is allowed.
    // `missingTask` when no task has that key.
    Result<void, StoreError> setStatus(const std::string& taskKey, TaskStatus status,
                                       std::optional<Timestamp> snoozedUntil);

    // Ticks or unticks one step (the identifier is not checked against the
    // item). Ticking keeps the first completion time and moves a pending task
    // to in progress; unticking never changes the status. `missingTask` when
    // the task does not exist or cannot be read.
    Result<void, StoreError> setStepCompleted(const std::string& taskKey, const std::string& stepID,
                                              bool completed);

    // Deletes the tasks (and their ticks, never their receipts) all or none:
    // when a key does not exist, fails with `missingTask` naming the smallest
    // missing key and deletes nothing. An empty set does nothing.
    Result<void, StoreError> deleteTasks(const std::set<std::string>& taskKeys);
    Result<void, StoreError> deleteTask(const std::string& taskKey);

    // ---- The user's notes, one per task (SQLiteTaskStoreNotes.cpp) -----------------------------
    // A note lives as long as its task: deleting the task, or a newer receipt
    // version that drops its item, deletes the note with it.

    // The task's note, or empty text when it has none.
    Result<std::string, StoreError> note(const std::string& taskKey);

    // Every stored note, by task key.
    Result<std::map<std::string, std::string>, StoreError> notes();

    // Stores `text` as the task's note, any size and content, kept exactly;
    // empty text removes the note. `missingTask` when no task has that key;
    // text that is not UTF-8 fails with `encode` and stores nothing.
    Result<void, StoreError> setNote(const std::string& taskKey, const std::string& text);

    // The stored version and raw text of one receipt, or none when it is not
    // stored.
    Result<std::optional<ArchivedReceipt>, StoreError> storedReceipt(const std::string& receiptID);
    // ---- End of notes ---------------------------------------------------------------------------

    // Test seam: points inside importReceipt at which a hook may run and make
    // the import fail (returning an error) to prove the roll-back, or act as
    // another writer would (beforeTransaction lies between the pre-check and
    // BEGIN). Production code never sets a hook.
    enum class ImportStage { beforeTransaction, receiptWritten, taskWritten, beforeCommit };
    using ImportFaultHook = std::function<Result<void, StoreError>(ImportStage)>;
    void setImportFaultHook(ImportFaultHook hook);

    // ---- Change detection (SQLiteTaskStoreChangeCounter.cpp) -------------------------------
    // Lets a caller that reloads often (the desktop app's 3-second refresh) skip
    // the reload when the database has not changed since it last looked.

    // The database content as this store's connection last saw it. Two tokens
    // read from one store are equal only when nothing was committed in between:
    // not by another connection or process (SQLite's data_version), not by this
    // connection's own row writes (its total change count), and not by a
    // restore copied into this connection (the schema cookie, which SQLite's
    // online backup always advances). A token may also change when the content
    // did not (a rolled-back write, a checkpoint by another process).
    struct ChangeToken {
        std::int64_t dataVersion = 0;
        std::int64_t ownChanges = 0;
        std::int64_t schemaCookie = 0;

        bool operator==(const ChangeToken&) const = default;
    };

    // Reads the current token under the store's lock without reading any
    // table. Fails with `sqlite` when the connection cannot answer.
    Result<ChangeToken, StoreError> changeToken();
    // ---- End of change detection --------------------------------------------------------------

private:
    explicit SQLiteTaskStore(std::filesystem::path path);

    struct ReceiptMetadata {
        std::int64_t version = 0;
        std::string rawHash;
    };

    // Whether user_version is below currentSchemaVersion; `unsupportedSchema`
    // when it is above.
    Result<bool, StoreError> needsMigration();
    Result<void, StoreError> migrate();
    Result<void, StoreError> migrateUnderWriteLock();
    Result<void, StoreError> migrateToVersion1();
    // Runs `statements` in one write transaction.
    Result<void, StoreError> underWriteLock(const std::vector<std::string>& statements);
    Result<void, StoreError> execute(const std::string& sql);
    Result<std::int64_t, StoreError> pragmaInteger(std::string_view name);

    Result<std::optional<ReceiptMetadata>, StoreError> receiptMetadata(
        const std::string& receiptID);
    Result<void, StoreError> upsertReceipt(const InterventionReceipt& receipt,
                                           const std::string& rawJSON, const std::string& rawHash,
                                           Timestamp importedAt);
    Result<void, StoreError> upsertTasks(const InterventionReceipt& receipt, Timestamp importedAt);
    Result<std::set<std::string>, StoreError> taskKeys(const std::string& receiptID);
    Result<void, StoreError> refuseForeignTaskKey(const std::string& taskKey,
                                                  const std::string& receiptID);
    Result<void, StoreError> removeUnknownStepProgress(const std::string& taskKey,
                                                       const std::set<std::string>& validStepIDs);
    Result<void, StoreError> injectFault(ImportStage stage);

    // Runs a task SELECT (columns in the listing's order) and reads its rows
    // with their ticks.
    Result<std::vector<TaskRecord>, StoreError> queryTasks(const std::string& sql,
                                                           const std::vector<SQLValue>& bindings);
    // Appends the record of the current row of a task SELECT, ticks aside, and
    // returns it; null, with the row counted as skipped, when it cannot be
    // read back.
    // Pages pass `cached` false: their items are decoded without entering the
    // listing's cache, which would otherwise grow with every page read.
    TaskRecord* appendTaskRow(const SQLiteStatement& row, std::vector<TaskRecord>& tasks,
                              bool cached = true);
    // The decoded item of a row, or null when its JSON is unreadable or of a
    // later layout. Valid until the next call.
    const InterventionItem* storedItem(const std::string& taskKey, std::string_view itemJSON);
    // The same without the cache.
    std::optional<InterventionItem> decodedItem(std::string_view itemJSON) const;
    // Whether the row `rowID` passes `filter`, asking what it knows first and
    // then reading the row's search fields with `fields`. A row gone
    // meanwhile or with an unknown agent or category does not pass.
    Result<bool, StoreError> filterRow(const TaskSearchFilter& filter, SQLiteStatement& fields,
                                       std::int64_t rowID);
    // Runs `statement` (the step_progress query) for one task.
    Result<std::set<std::string>, StoreError> completedStepIDs(SQLiteStatement& statement,
                                                               const std::string& taskKey);
    // The ticks of the tasks that match `where` (a WHERE clause of the tasks
    // table, or empty for every task), by task key.
    Result<std::unordered_map<std::string, std::set<std::string>>, StoreError>
    completedStepIDsOfTasks(const std::string& where, const std::vector<SQLValue>& bindings);
    // Wakes every snoozed task whose wake-up time is at or before `now`.
    Result<void, StoreError> wakeSnoozedTasks(Timestamp now);

    SQLiteConnection database_;
    const std::filesystem::path path_;
    const ReceiptEncoder encoder_ = ReceiptJSON::makeEncoder(false);
    const ReceiptDecoder decoder_ = ReceiptJSON::makeDecoder();
    mutable std::recursive_mutex lock_;
    std::int64_t lastSkippedTaskRowCount_ = 0;
    std::uint64_t listingCount_ = 0;
    // Decoding item JSON dominates a listing, which the app repeats every few
    // seconds: items are decoded again only when their stored text changed.
    // Entries not read by the latest listing are dropped.
    struct CachedItem {
        std::string json;
        InterventionItem item;
        std::uint64_t listing = 0;  // the latest listing that read it
    };
    std::unordered_map<std::string, CachedItem> itemCache_;
    ImportFaultHook importFaultHook_;

    // ---- Data safety: integrity check, backup, database restore and the
    // archive's reads and writes. Implemented in SQLiteTaskStoreMaintenance.cpp.
public:
    // Quick check of the live database. Fails with `integrity` carrying the
    // check's findings joined by "；" (or "没有返回检查结果。"), or `sqlite`.
    Result<void, StoreError> verifyIntegrity();

    // Writes a complete copy of the live database into the new file
    // `destination` with SQLite's online backup, then quick-checks the copy.
    // Missing parent directories are created (FileError on failure). Refuses
    // the live file itself (TaskArchiveError unsafePath) and any existing file
    // (destinationExists) without touching anything; a later failure removes
    // the partial copy.
    Result<void, ArchiveFailure> backup(const std::filesystem::path& destination);

    // Replaces the live content with that of the SQLite file `source`
    // (user_version 0 or 1); the store and its connection stay the same.
    // Before anything is written: refuses the live file as source or safety
    // location, and a safety location equal to the source (unsafePath naming
    // the source); a missing or unopenable source (`backup`), a newer one
    // (unsupportedSchema) or one failing its quick check (`integrity`); then
    // backs the live database up into the new file `safetyBackup` as backup()
    // does. Then copies the source in: a copy that fails (another writer holds
    // the lock) has written nothing, and fails with `backup` naming that
    // failure and saying the live database is unchanged. After the copy it
    // migrates, checks that the three tables have every column this build
    // reads (`integrity` naming what is missing), quick-checks and checkpoints
    // (TRUNCATE). If any of these fails, the live content is copied back from
    // the safety backup and that first failure is returned; if the copy back
    // fails too, `backup` with a message naming the first failure and the
    // safety backup. The safety backup is never deleted. Neither the source
    // nor the safety backup gets files beside it (see SQLiteConnection::open).
    Result<void, ArchiveFailure> restoreDatabase(const std::filesystem::path& source,
                                                 const std::filesystem::path& safetyBackup);

    // Every stored receipt, ordered by identifier; raw text and hash as stored.
    Result<std::vector<ArchivedReceipt>, StoreError> archivedReceipts();

    // Every task's status, wake-up time and ticked steps, ordered by task key,
    // ticks by step identifier. An unknown status or an unreadable tick time
    // fails with `decode`; an unreadable wake-up time reads as none.
    Result<std::vector<ArchivedTaskState>, StoreError> archivedTaskStates();

    // Runs `reads` (calls of this store's reading operations) inside one read
    // transaction under the store's lock, so that they all see the database as
    // it was at the first of them, whatever other connections commit
    // meanwhile. Returns the first failure of `reads` or of the transaction.
    Result<void, StoreError> readSnapshot(const std::function<Result<void, StoreError>()>& reads);

    // Overwrites status, wake-up time and ticked steps of each listed task, in
    // one transaction: all or nothing. Checked before anything is written:
    // every task exists and is readable (StoreError missingTask) and every
    // ticked step is a step of its item (TaskArchiveError invalidStep).
    Result<void, ArchiveFailure> applyArchivedTaskStates(
        const std::vector<ArchivedTaskState>& states);

    // Stops waiting for the disk at each commit (PRAGMA synchronous = OFF).
    // Only for a disposable database, such as an archive restore's staging
    // copy: a crash of the program still leaves it intact, a power loss may not.
    Result<void, StoreError> relaxDurability();

    // Test seam: points inside restoreDatabase at which a hook may make the
    // restore fail (copied: the live content has just been replaced) or act as
    // another process would (rollingBack: before the safety backup is copied
    // back; an error there makes the copy back fail). Production code never
    // sets a hook.
    enum class RestoreStage { copied, rollingBack };
    using RestoreFaultHook = std::function<Result<void, StoreError>(RestoreStage)>;
    void setRestoreFaultHook(RestoreFaultHook hook);

private:
    // The steps of a restore after the source's content was copied in.
    Result<void, StoreError> finishReplacement();
    Result<void, StoreError> restoreFromSafetyCopy(const std::filesystem::path& safetyBackup);
    // Whether the tables have every column this build reads; with
    // `requireAllTables` false, absent tables pass. Fails with `integrity`
    // naming what is missing.
    Result<void, StoreError> verifySchema(bool requireAllTables);

    RestoreFaultHook restoreFaultHook_;
};

}  // namespace kestrin
