// The archive manager: export, the merging restore through a staging copy,
// database backups and their names, and database restores from them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>

#include "ArchiveTestReceipts.h"
#include "core/archive/KestrinArchive.h"
#include "core/intake/ReceiptImporter.h"
#include "core/archive/TaskArchiveManager.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;

namespace {

Timestamp at(const char* text) {
    return *parseKestrinISO8601(text);
}

// Everything an archive carries, read from a store.
struct Snapshot {
    std::vector<ArchivedReceipt> receipts;
    std::vector<ArchivedTaskState> states;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(SQLiteTaskStore& store) {
    return {store.archivedReceipts().value(), store.archivedTaskStates().value()};
}

class ArchiveManagerTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        paths = AppPaths(directory);  // the fixture's store is on paths.database()
        // The restore's staging directory goes to the system's temporary
        // directory; this test's own one is watched instead.
        temporary = directory / "tmp";
        fs::create_directories(temporary);
        if (const char* old = std::getenv("TMPDIR")) previousTMPDIR = old;
        setenv("TMPDIR", temporary.c_str(), 1);
    }

    void TearDown() override {
        if (previousTMPDIR) {
            setenv("TMPDIR", previousTMPDIR->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
        StoreFixture::TearDown();
    }

    std::unique_ptr<SQLiteTaskStore> openStore(const AppPaths& where) {
        auto opened = SQLiteTaskStore::open(where.database());
        EXPECT_TRUE(opened) << opened.error().description();
        return opened ? std::move(opened).value() : nullptr;
    }

    TaskArchiveManager manager() { return managerOf(*store, paths); }

    TaskArchiveManager managerOf(SQLiteTaskStore& target, const AppPaths& where) {
        return TaskArchiveManager(target, where, {}, {}, [this] { return now; });
    }

    void importInto(SQLiteTaskStore& target, const InterventionReceipt& receipt) {
        auto imported = ReceiptImporter(target).importData(rawJSON(receipt));
        ASSERT_TRUE(imported) << imported.error().description();
    }

    // Two receipts, three tasks: one in progress with a tick, one snoozed,
    // one pending; and a receipt whose only task was deleted.
    void fill(SQLiteTaskStore& target) {
        importInto(target, validReceipt("r-alpha", 1, {"item-1", "item-2"}));
        importInto(target, validReceipt("r-beta", 2));
        importInto(target, validReceipt("r-gone", 1));
        ASSERT_TRUE(target.setStepCompleted("r-alpha::item-1", "step-1", true));
        ASSERT_TRUE(
            target.setStatus("r-alpha::item-2", TaskStatus::snoozed, at("2030-01-01T00:00:00Z")));
        ASSERT_TRUE(target.deleteTask("r-gone::item-1"));
    }

    std::string exported(SQLiteTaskStore& source) {
        auto bytes = managerOf(source, paths).exportData(false);
        EXPECT_TRUE(bytes) << bytes.error().description();
        return bytes ? *bytes : std::string();
    }

    // Entries of the temporary directory left by restores.
    std::vector<std::string> stagingLeftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temporary)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    std::vector<std::string> backupNames() const {
        std::vector<std::string> names;
        if (!fs::exists(paths.backups())) return names;
        for (const auto& entry : fs::directory_iterator(paths.backups())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    AppPaths paths{fs::path()};
    fs::path temporary;
    std::optional<std::string> previousTMPDIR;
    Timestamp now = at("2026-07-27T08:30:00.999Z");
};

}  // namespace

// MARK: - Export

TEST_F(ArchiveManagerTest, AnEmptyDatabaseExportsAnEmptyArchive) {
    auto compact = manager().exportData(false);
    ASSERT_TRUE(compact);
    EXPECT_EQ(*compact,
              R"({"exported_at":"2026-07-27T08:30:00.999Z","receipts":[],"schema_version":"1.0.0",)"
              R"("task_states":[]})");
    auto pretty = manager().exportData(true);
    ASSERT_TRUE(pretty);
    EXPECT_EQ(KestrinArchive::decode(*pretty).value(), KestrinArchive::decode(*compact).value());

    auto restored = manager().restoreData(*pretty);
    ASSERT_TRUE(restored) << restored.error().description();
    EXPECT_EQ(restored->receiptCount, 0);
    EXPECT_EQ(restored->taskCount, 0);
    EXPECT_EQ(restored->safetyBackup,
              paths.backups() / "Velmora-before-archive-restore-20260727-083000.sqlite");
    EXPECT_TRUE(fs::exists(restored->safetyBackup));
    EXPECT_EQ(snapshot(*store), Snapshot{});
}

TEST_F(ArchiveManagerTest, ExportCarriesEveryStoredReceiptAndTaskState) {
    fill(*store);
    auto archive = KestrinArchive::decode(exported(*store));
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->schemaVersion, "1.0.0");
    EXPECT_EQ(archive->exportedAt, now);
    EXPECT_EQ(archive->receipts, store->archivedReceipts().value());
    ASSERT_EQ(archive->receipts.size(), 3u);  // r-gone stays though its task was deleted
    EXPECT_EQ(archive->receipts[2].rawJson, rawJSON(validReceipt("r-gone", 1)));
    EXPECT_EQ(archive->taskStates, store->archivedTaskStates().value());
    ASSERT_EQ(archive->taskStates.size(), 3u);
    EXPECT_EQ(archive->taskStates[1].snoozedUntil, at("2030-01-01T00:00:00Z"));
}

// The other program stores a newer version with one more item between the
// export's two reads; the archive must still hold together.
TEST_F(ArchiveManagerTest, AnExportIsOneSnapshotWhileAnotherProgramWrites) {
    importInto(*store, validReceipt("r-alpha", 1));
    auto otherProgram = openStore(paths);
    auto writeBetweenReads = [&](std::int64_t done, std::int64_t) {
        if (done == 1) importInto(*otherProgram, validReceipt("r-alpha", 2, {"item-1", "item-2"}));
    };
    auto bytes = manager().exportData(false, writeBetweenReads);
    ASSERT_TRUE(bytes);
    auto archive = KestrinArchive::decode(*bytes).value();
    EXPECT_EQ(archive.receipts.at(0).version, 1);
    EXPECT_EQ(archive.taskStates.size(), 1u);
    EXPECT_TRUE(archive.validate(ReceiptValidator{}, SecretScanner{}));
    EXPECT_EQ(store->archivedTaskStates()->size(), 2u);  // the write itself went through
}

// MARK: - Restore

TEST_F(ArchiveManagerTest, AnArchiveRestoresTheSameDataIntoAnotherDatabase) {
    fill(*store);
    const std::string archive = exported(*store);

    const AppPaths otherPaths(directory / "other");
    auto other = openStore(otherPaths);
    auto restored = managerOf(*other, otherPaths).restoreData(archive);
    ASSERT_TRUE(restored) << restored.error().description();
    EXPECT_EQ(restored->receiptCount, 3);
    EXPECT_EQ(restored->taskCount, 3);

    // Same receipts, texts and hashes, statuses, wake-up times, ticks and
    // tick times. The archive records no deletions: the import of r-gone
    // makes its deleted task again, pending, as a new receipt would.
    auto restoredData = snapshot(*other);
    ASSERT_EQ(restoredData.states.size(), 4u);
    EXPECT_EQ(restoredData.states[3],
              (ArchivedTaskState{"r-gone::item-1", TaskStatus::pending, std::nullopt, {}}));
    restoredData.states.pop_back();
    EXPECT_EQ(restoredData, snapshot(*store));
}

TEST_F(ArchiveManagerTest, RestoringOntoTheSameDatabaseWritesTheArchivedStatesBack) {
    fill(*store);
    const Snapshot before = snapshot(*store);
    const std::string archive = exported(*store);
    ASSERT_TRUE(store->setStatus("r-alpha::item-1", TaskStatus::cancelled, std::nullopt));
    ASSERT_TRUE(store->setStepCompleted("r-alpha::item-1", "step-2", true));
    importInto(*store, validReceipt("r-later", 1));  // not in the archive: kept

    auto restored = manager().restoreData(archive);
    ASSERT_TRUE(restored) << restored.error().description();
    EXPECT_EQ(restored->receiptCount, 3);
    EXPECT_EQ(restored->taskCount, 3);
    auto after = snapshot(*store);
    ASSERT_EQ(after.receipts.size(), 4u);
    EXPECT_EQ(after.receipts[3].receiptId, "r-later");
    after.receipts.erase(after.receipts.begin() + 3);
    after.states.erase(after.states.begin() + 3);  // r-later::item-1
    EXPECT_EQ(after, before);
}

TEST_F(ArchiveManagerTest, ANewerArchivedVersionReplacesTheLocalOne) {
    importInto(*store, validReceipt("r-alpha", 2, {"item-1", "item-2"}));
    KestrinArchive archive;
    archive.receipts = {archived(validReceipt("r-alpha", 3, {"item-1"}))};
    archive.taskStates = {{"r-alpha::item-1",
                           TaskStatus::waitingExternal,
                           std::nullopt,
                           {{"step-2", at("2026-07-27T08:00:00Z")}}}};

    auto restored = manager().restoreData(archive.encode(true));
    ASSERT_TRUE(restored) << restored.error().description();
    EXPECT_EQ(store->archivedReceipts().value(), archive.receipts);
    EXPECT_EQ(store->archivedTaskStates().value(), archive.taskStates);
}

TEST_F(ArchiveManagerTest, AnOlderArchivedVersionStopsAndLeavesTheDatabaseAlone) {
    importInto(*store, validReceipt("r-alpha", 2));
    ASSERT_TRUE(store->setStatus("r-alpha::item-1", TaskStatus::readyToResume, std::nullopt));
    const Snapshot before = snapshot(*store);
    KestrinArchive archive;
    archive.receipts = {archived(validReceipt("r-new", 1)), archived(validReceipt("r-alpha", 1))};

    auto restored = manager().restoreData(archive.encode(true));
    ASSERT_FALSE(restored);
    EXPECT_EQ(restored.error().description(),
              "归档中的 r-alpha v1 早于本地 v2，已停止恢复以避免覆盖较新数据。");
    EXPECT_EQ(snapshot(*store), before);
    EXPECT_TRUE(backupNames().empty());
}

TEST_F(ArchiveManagerTest, ImporterAndStoreRefusalsArePassedOnWithNothingChanged) {
    auto receipt = validReceipt("r-alpha", 1);
    importInto(*store, receipt);
    importInto(*store, validReceipt("r-beta", 1));
    ASSERT_TRUE(store->deleteTask("r-beta::item-1"));
    const Snapshot before = snapshot(*store);

    // The same version as stored, but another text.
    receipt.summary = "另一份内容";
    KestrinArchive conflicting;
    conflicting.receipts = {archived(receipt)};
    auto refused = manager().restoreData(conflicting.encode(false));
    ASSERT_FALSE(refused);
    EXPECT_EQ(
        refused.error().description(),
        "同一 receipt_id 和 version 的内容不一致（r-alpha v1）；请让 Agent 增加 version 后重试。");

    // A state for a task deleted locally while its receipt is unchanged.
    KestrinArchive deleted;
    deleted.receipts = {archived(validReceipt("r-beta", 1))};
    deleted.taskStates = {{"r-beta::item-1", TaskStatus::completed, std::nullopt, {}}};
    auto missing = manager().restoreData(deleted.encode(false));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().description(), "找不到任务：r-beta::item-1");

    EXPECT_EQ(snapshot(*store), before);
    EXPECT_TRUE(backupNames().empty());
}

TEST_F(ArchiveManagerTest, DocumentsThatAreNotArchivesAreRefusedBeforeAnyWork) {
    int progressCalls = 0;
    auto count = [&](std::int64_t, std::int64_t) { ++progressCalls; };
    KestrinArchive tampered;
    tampered.receipts = {archived(validReceipt("r-alpha", 1))};
    tampered.receipts[0].rawHash[0] = tampered.receipts[0].rawHash[0] == 'a' ? 'b' : 'a';

    const struct {
        std::string bytes;
        std::string description;
    } cases[] = {
        {"{\"schema_version\": \"1.0.0\xff\"}", "数据归档必须是 UTF-8 JSON 文本。"},
        {"{\"schema_version\": \"1.0.0\"}", "数据归档无法解析：exported_at：缺少必填字段"},
        {tampered.encode(false), "回执 r-alpha 的校验值不匹配，归档可能已损坏或被修改。"},
    };
    for (const auto& c : cases) {
        auto restored = manager().restoreData(c.bytes, count);
        ASSERT_FALSE(restored);
        EXPECT_EQ(restored.error().description(), c.description);
    }
    EXPECT_EQ(progressCalls, 0);
    EXPECT_TRUE(backupNames().empty());
}

TEST_F(ArchiveManagerTest, TheStagingDirectoryIsGoneAfterEveryRestore) {
    fill(*store);
    const std::string archive = exported(*store);
    std::vector<std::string> seenDuringRestore;
    auto look = [&](std::int64_t done, std::int64_t) {
        if (done == 1) {
            for (const auto& name : stagingLeftovers()) {
                if (fs::exists(temporary / name / "staging.sqlite"))
                    seenDuringRestore.push_back(name);
            }
        }
    };

    ASSERT_TRUE(manager().restoreData(archive, look));
    ASSERT_EQ(seenDuringRestore.size(), 1u);
    EXPECT_TRUE(seenDuringRestore[0].starts_with("VelmoraArchiveRestore-"));
    EXPECT_TRUE(stagingLeftovers().empty());

    KestrinArchive stale;
    stale.receipts = {archived(validReceipt("r-beta", 1))};
    ASSERT_FALSE(manager().restoreData(stale.encode(false), look));
    EXPECT_TRUE(stagingLeftovers().empty());

    // A failing swap: the live database is busy beyond the busy timeout.
    SQLiteConnection other =
        SQLiteConnection::open(paths.database(), SQLiteConnection::Mode::readWriteCreate).value();
    ASSERT_TRUE(other.execute("BEGIN IMMEDIATE;"));
    store->setRestoreFaultHook([&](SQLiteTaskStore::RestoreStage) -> Result<void, StoreError> {
        return other.execute("ROLLBACK;");
    });
    auto busy = manager().restoreData(archive, look);
    ASSERT_FALSE(busy);
    EXPECT_EQ(busy.error().description(), "任务数据库备份或恢复失败：database is locked");
    EXPECT_TRUE(stagingLeftovers().empty());
    EXPECT_EQ(seenDuringRestore.size(), 2u);
}

TEST_F(ArchiveManagerTest, ProgressRisesToItsTotalAndChangesNoResult) {
    fill(*store);
    std::vector<std::pair<std::int64_t, std::int64_t>> steps;
    auto record = [&](std::int64_t done, std::int64_t total) { steps.emplace_back(done, total); };

    auto withProgress = manager().exportData(true, record);
    ASSERT_TRUE(withProgress);
    EXPECT_EQ(*withProgress, manager().exportData(true).value());
    EXPECT_EQ(steps,
              (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));

    steps.clear();
    auto restored = manager().restoreData(*withProgress, record);
    ASSERT_TRUE(restored);
    EXPECT_EQ(steps, (std::vector<std::pair<std::int64_t, std::int64_t>>{
                         {0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    auto quiet = manager().restoreData(*withProgress);
    ASSERT_TRUE(quiet);
    EXPECT_EQ(quiet->receiptCount, restored->receiptCount);
    EXPECT_EQ(quiet->taskCount, restored->taskCount);
}

// MARK: - Database backups

TEST(KestrinFilenameTimestamp, IsUTCDigitsWithAHyphen) {
    EXPECT_EQ(kestrinFilenameTimestamp(at("2026-07-27T08:30:00.999Z")), "20260727-083000");
    EXPECT_EQ(kestrinFilenameTimestamp(at("2026-01-02T03:04:05+08:00")), "20260101-190405");
}

TEST_F(ArchiveManagerTest, BackupsInTheSameSecondGetARandomSuffix) {
    fill(*store);
    auto first = manager().createDatabaseBackup();
    auto second = manager().createDatabaseBackup();
    auto third = manager().createDatabaseBackup();
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(*first, paths.backups() / "Velmora-manual-20260727-083000.sqlite");
    const std::regex suffixed("Velmora-manual-20260727-083000-[0-9A-F]{8}\\.sqlite");
    EXPECT_TRUE(std::regex_match(second->filename().string(), suffixed)) << *second;
    EXPECT_TRUE(std::regex_match(third->filename().string(), suffixed)) << *third;
    EXPECT_NE(*second, *third);

    auto copy = SQLiteTaskStore::open(*second);
    ASSERT_TRUE(copy);
    EXPECT_EQ(snapshot(**copy), snapshot(*store));
}

TEST_F(ArchiveManagerTest, ADatabaseRestoreBringsABackupBackAndKeepsASafetyCopy) {
    fill(*store);
    const Snapshot backedUp = snapshot(*store);
    const fs::path backup = manager().createDatabaseBackup().value();
    importInto(*store, validReceipt("r-later", 1));
    const Snapshot changed = snapshot(*store);

    now += std::chrono::minutes(5);
    auto safety = manager().restoreDatabaseBackup(backup);
    ASSERT_TRUE(safety) << safety.error().description();
    EXPECT_EQ(*safety, paths.backups() / "Velmora-before-database-restore-20260727-083500.sqlite");
    EXPECT_EQ(snapshot(*store), backedUp);
    EXPECT_EQ(snapshot(*SQLiteTaskStore::open(*safety).value()), changed);
}

TEST_F(ArchiveManagerTest, ADatabaseRestoreRefusesTheLiveFileInEverySpelling) {
    fill(*store);
    const Snapshot before = snapshot(*store);
    for (const fs::path& spelling : {paths.database(), paths.root() / "." / "tasks.sqlite",
                                     paths.backups() / ".." / "tasks.sqlite"}) {
        auto refused = manager().restoreDatabaseBackup(spelling);
        ASSERT_FALSE(refused) << spelling;
        EXPECT_EQ(refused.error().description(),
                  "不能使用当前任务数据库作为备份或恢复来源：" + paths.database().string());
    }
    EXPECT_EQ(snapshot(*store), before);
    EXPECT_TRUE(backupNames().empty());
}
