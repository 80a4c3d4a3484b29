#include "core/archive/TaskArchiveManager.h"

#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

#include "core/support/FileSystem.h"
#include "core/archive/KestrinArchive.h"
#include "core/support/RandomUUID.h"
#include "core/intake/ReceiptImporter.h"
#include "core/support/UTF8.h"

namespace kestrin {

namespace fs = std::filesystem;

namespace {

constexpr const char* stagingDirectoryPrefix = "VelmoraArchiveRestore-";
constexpr const char* stagingDatabaseName = "staging.sqlite";

void report(const TaskArchiveManager::Progress& progress, std::int64_t done, std::int64_t total) {
    if (progress) progress(done, total);
}

ArchiveFailure toArchiveFailure(ImportFailure failure) {
    return std::visit([](auto&& held) { return ArchiveFailure(std::move(held)); },
                      std::move(failure.error));
}

// Removes the staging directory and everything in it when the restore
// returns, whichever way; a failure to remove is ignored.
class StagingDirectory {
public:
    explicit StagingDirectory(fs::path path) : path_(std::move(path)) {}
    StagingDirectory(const StagingDirectory&) = delete;
    StagingDirectory& operator=(const StagingDirectory&) = delete;
    ~StagingDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace

std::string kestrinFilenameTimestamp(Timestamp instant) {
    using namespace std::chrono;
    const auto day = floor<days>(instant);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(instant - day)};
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u-%02d%02d%02lld", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), static_cast<long long>(time.seconds().count()));
    return text;
}

TaskArchiveManager::TaskArchiveManager(SQLiteTaskStore& store, AppPaths paths,
                                       ReceiptValidator validator, SecretScanner scanner,
                                       std::function<Timestamp()> clock)
    : store_(store),
      paths_(std::move(paths)),
      validator_(std::move(validator)),
      scanner_(std::move(scanner)),
      clock_(std::move(clock)) {}

Result<std::string, ArchiveFailure> TaskArchiveManager::exportData(bool pretty,
                                                                   const Progress& progress) {
    constexpr std::int64_t phases = 3;
    report(progress, 0, phases);
    KestrinArchive archive;
    archive.exportedAt = clock_();

    // One snapshot: receipts and task states read apart could disagree when
    // the other program stores a new version in between, and the archive
    // would then fail its own validation on restore.
    auto read = store_.readSnapshot([&]() -> Result<void, StoreError> {
        auto receipts = store_.archivedReceipts();
        if (!receipts) return fail(receipts.error());
        archive.receipts = std::move(receipts).value();
        report(progress, 1, phases);

        auto states = store_.archivedTaskStates();
        if (!states) return fail(states.error());
        archive.taskStates = std::move(states).value();
        report(progress, 2, phases);
        return {};
    });
    if (!read) return fail(read.error());

    auto document = archive.encode(pretty);
    report(progress, 3, phases);
    return document;
}

Result<ArchiveRestoreOutcome, ArchiveFailure> TaskArchiveManager::restoreData(
    std::string_view bytes, const Progress& progress) {
    if (!isValidUTF8(bytes)) return fail(TaskArchiveError::notUTF8());
    auto decoded = KestrinArchive::decode(bytes);
    if (!decoded) return fail(TaskArchiveError::malformed(decoded.error().message()));
    const KestrinArchive& archive = decoded.value();
    if (auto valid = archive.validate(validator_, scanner_); !valid) return fail(valid.error());

    const auto receiptCount = static_cast<std::int64_t>(archive.receipts.size());
    const std::int64_t total = receiptCount + 2;
    report(progress, 0, total);

    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (error) {
        return fail(
            FileError::fromCode(FileError::Kind::createDirectory, temporary.string(), error));
    }
    const fs::path stagingPath = temporary / (stagingDirectoryPrefix + randomUUIDText());
    if (auto created = FileSystem::standard().createDirectories(stagingPath); !created) {
        return fail(created.error());
    }
    const StagingDirectory staging(stagingPath);
    const fs::path stagingDatabase = staging.path() / stagingDatabaseName;

    if (auto copied = store_.backup(stagingDatabase); !copied) return fail(copied.error());
    {
        // Closed before the swap, so its content is all in the one file.
        auto opened = SQLiteTaskStore::open(stagingDatabase);
        if (!opened) return fail(opened.error());
        const std::unique_ptr<SQLiteTaskStore> stagingStore = std::move(opened).value();
        // One durable commit per archived receipt would dominate the restore;
        // the staging copy is thrown away after a power loss anyway, and the
        // swap into the live database below is durable.
        if (auto relaxed = stagingStore->relaxDurability(); !relaxed) return fail(relaxed.error());
        const ReceiptImporter importer(*stagingStore, validator_, scanner_);

        std::int64_t done = 0;
        for (const auto& archived : archive.receipts) {
            auto imported = importer.importData(archived.rawJson);
            if (!imported) return fail(toArchiveFailure(imported.error()));
            if (imported->result.kind == StoreImportResult::Kind::stale) {
                return fail(TaskArchiveError::staleReceipt(archived.receiptId, archived.version,
                                                           imported->result.existingVersion));
            }
            report(progress, ++done, total);
        }
        if (auto applied = stagingStore->applyArchivedTaskStates(archive.taskStates); !applied) {
            return fail(applied.error());
        }
        if (auto checked = stagingStore->verifyIntegrity(); !checked) return fail(checked.error());
        report(progress, receiptCount + 1, total);
    }

    const fs::path safety = nextBackupURL("before-archive-restore");
    if (auto swapped = store_.restoreDatabase(stagingDatabase, safety); !swapped) {
        return fail(swapped.error());
    }
    report(progress, total, total);
    return ArchiveRestoreOutcome{receiptCount, static_cast<std::int64_t>(archive.taskStates.size()),
                                 safety};
}

Result<fs::path, ArchiveFailure> TaskArchiveManager::createDatabaseBackup() {
    const fs::path location = nextBackupURL("manual");
    if (auto done = store_.backup(location); !done) return fail(done.error());
    return location;
}

Result<fs::path, ArchiveFailure> TaskArchiveManager::restoreDatabaseBackup(const fs::path& source) {
    const fs::path from = SQLiteTaskStore::standardizedPath(source);
    if (from == SQLiteTaskStore::standardizedPath(paths_.database())) {
        return fail(TaskArchiveError::unsafePath(from.string()));
    }
    const fs::path safety = nextBackupURL("before-database-restore");
    if (auto done = store_.restoreDatabase(source, safety); !done) return fail(done.error());
    return safety;
}

fs::path TaskArchiveManager::nextBackupURL(std::string_view prefix) const {
    const std::string stem =
        "Velmora-" + std::string(prefix) + "-" + kestrinFilenameTimestamp(clock_());
    const fs::path plain = paths_.backups() / (stem + ".sqlite");
    if (!FileSystem::standard().exists(plain)) return plain;
    return paths_.backups() / (stem + "-" + randomUUIDText().substr(0, 8) + ".sqlite");
}

}  // namespace kestrin
