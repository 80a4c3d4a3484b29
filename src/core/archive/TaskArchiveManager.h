#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "core/intake/AppPaths.h"
#include "core/store/ArchiveFailure.h"
#include "core/archive/ArchiveRestoreOutcome.h"
#include "core/checks/ReceiptValidator.h"
#include "core/support/Result.h"
#include "core/store/SQLiteTaskStore.h"
#include "core/checks/SecretScanner.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

// `instant` in UTC as "yyyyMMdd-HHmmss" (20260727-083000): the timestamp part
// of backup file names.
std::string kestrinFilenameTimestamp(Timestamp instant);

// Turns the live database into an archive document and merges an archive back
// into it, and makes the database backups that protect every restore. A
// restore never edits the live database step by step: it builds the merged
// result in a staging copy, checks it, and swaps it in with the store's
// restoreDatabase, which keeps a safety copy in `paths.backups()`.
// Runs on the caller's thread; `store` must outlive the manager.
class TaskArchiveManager {
public:
    // Told (done, total) as long work advances, done rising from 0 to total;
    // it changes no result. Called on the caller's thread.
    using Progress = std::function<void(std::int64_t done, std::int64_t total)>;

    // `clock` gives the export time and the time in backup file names.
    TaskArchiveManager(SQLiteTaskStore& store, AppPaths paths, ReceiptValidator validator = {},
                       SecretScanner scanner = {},
                       std::function<Timestamp()> clock = currentTimestamp);

    // The archive of every stored receipt and task state, both read from one
    // snapshot of the database: schema "1.0.0", exported now, receipts by
    // identifier, task states by key, ticks by step identifier. Receipts
    // whose tasks were all deleted are included. Fails
    // with the store's `decode` when a task's status or a tick time cannot be
    // read. Progress counts three phases: receipts read, task states read,
    // document encoded.
    Result<std::string, ArchiveFailure> exportData(bool pretty, const Progress& progress = {});

    // Merges the archive `bytes` into the live database, in this order:
    // UTF-8 (notUTF8), decoding (malformed), validation (KestrinArchive::
    // validate); then, in a new "VelmoraArchiveRestore-<UUID>" directory of
    // the system's temporary directory, a copy of the live database into
    // which every archived receipt is imported through the importer (an
    // import refusal is passed on; an archived version older than the local
    // one stops with staleReceipt) and the task states are applied; the copy
    // is quick-checked and finally swapped into the live database with a
    // "before-archive-restore" safety backup. Receipts and tasks the archive
    // does not mention are kept. Until the swap the live database is not
    // written. The staging directory is removed on every return, failed or
    // not. Progress counts one step per archived receipt imported, one for the
    // task states and one for the swap.
    Result<ArchiveRestoreOutcome, ArchiveFailure> restoreData(std::string_view bytes,
                                                              const Progress& progress = {});

    // A "manual" backup of the live database; returns its location.
    Result<std::filesystem::path, ArchiveFailure> createDatabaseBackup();

    // Replaces the live database with the backup file `source` (the store's
    // restoreDatabase) after a "before-database-restore" safety backup;
    // returns the safety backup's location. The live database file itself, in
    // any spelling, is refused with unsafePath.
    Result<std::filesystem::path, ArchiveFailure> restoreDatabaseBackup(
        const std::filesystem::path& source);

private:
    // "Velmora-<prefix>-<timestamp>.sqlite" in the backups directory, or, when
    // that file exists, with "-" and 8 characters of a random UUID before the
    // extension.
    std::filesystem::path nextBackupURL(std::string_view prefix) const;

    SQLiteTaskStore& store_;
    AppPaths paths_;
    ReceiptValidator validator_;
    SecretScanner scanner_;
    std::function<Timestamp()> clock_;
};

}  // namespace kestrin
