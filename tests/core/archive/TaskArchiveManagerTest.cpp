#include <gtest/gtest.h>

#include <regex>

#include "core/archive/KestrinArchive.h"
#include "core/archive/TaskArchiveManager.h"
#include "core/intake/ReceiptImporter.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;
namespace fs = std::filesystem;
using Steps = std::vector<std::pair<std::int64_t, std::int64_t>>;

namespace {

Timestamp at(const char* text) {
    return *parseKestrinISO8601(text);
}

ArchivedTaskState completed(std::string key, const std::vector<std::string>& steps = {}) {
    ArchivedTaskState state{std::move(key), TaskStatus::completed, std::nullopt, {}};
    for (const auto& step : steps)
        state.completedSteps.push_back({step, at("2026-07-28T09:00:00Z")});
    return state;
}

KestrinArchive validArchive() {
    KestrinArchive archive;
    archive.exportedAt = at("2026-07-28T09:15:00Z");
    archive.receipts = {archived(validReceipt("r-alpha", 1, {"item-1", "item-2"})),
                        archived(validReceipt("r-beta", 3))};
    archive.taskStates = {{"r-alpha::item-1",
                           TaskStatus::inProgress,
                           std::nullopt,
                           {{"step-1", at("2026-07-28T09:00:00Z")}}},
                          {"r-alpha::item-2", TaskStatus::snoozed, at("2026-07-30T00:00:00Z"), {}},
                          completed("r-beta::item-1", {"step-1", "step-2"})};
    return archive;
}

std::string verdict(const KestrinArchive& archive) {
    auto result = archive.validate(ReceiptValidator{}, SecretScanner{});
    return result ? "valid" : result.error().description();
}

using Snapshot = std::pair<std::vector<ArchivedReceipt>, std::vector<ArchivedTaskState>>;
Snapshot snapshot(SQLiteTaskStore& store) {
    return {store.archivedReceipts().value(), store.archivedTaskStates().value()};
}

// The store lives on paths.database(); restores stage in this test's own TMPDIR.
class ArchiveManagerTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        paths = AppPaths(directory);
        ASSERT_TRUE(paths.ensureDirectories());
        fs::create_directories(temporary = directory / "tmp");
        if (const char* old = std::getenv("TMPDIR")) previousTMPDIR = old;
        setenv("TMPDIR", temporary.c_str(), 1);
    }
    void TearDown() override {
        previousTMPDIR ? setenv("TMPDIR", previousTMPDIR->c_str(), 1) : unsetenv("TMPDIR");
        StoreFixture::TearDown();
    }
    TaskArchiveManager manager(SQLiteTaskStore* target = nullptr, const AppPaths* where = nullptr) {
        return TaskArchiveManager(target ? *target : *store, where ? *where : paths, {}, {},
                                  [this] { return now; });
    }
    AppPaths paths{fs::path()};
    fs::path temporary;
    std::optional<std::string> previousTMPDIR;
    Timestamp now = at("2026-07-27T08:30:00.999Z");
};

}  // namespace

// Receipts in list order, then task states: the first broken rule is named.
TEST(KestrinArchive, DecodesAndRefusesReceiptsByTheFirstRuleTheyBreak) {
    EXPECT_EQ(KestrinArchive::decode(validArchive().encode(true)).value(), validArchive());
    auto written = KestrinArchive::decode(testData("archive/deploy-archive.json"));
    ASSERT_TRUE(written) << written.error().message();
    EXPECT_EQ(written->exportedAt, at("2026-07-28T09:15:00.500Z"));
    ASSERT_EQ(written->taskStates.size(), 2u);
    EXPECT_EQ(written->taskStates[1].snoozedUntil, at("2026-07-29T00:00:00Z"));
    EXPECT_EQ(verdict(*written), "valid");  // the raw text still matches its hash
    const auto gamma = validReceipt("r-gamma", 2);
    const std::string raw = rawJSON(gamma);
    auto incomplete = gamma;
    incomplete.summary = " ";
    incomplete.project.path = "relative/path";
    auto changed = archived(gamma);
    changed.rawJson[changed.rawJson.find("velmora")] = 'V';
    using Change = std::function<void(KestrinArchive&)>;
    const auto add = [](auto... r) -> Change {
        return [=](auto& a) { (a.receipts.push_back(r), ...); };
    };
    const auto addState = [](ArchivedTaskState s) -> Change {
        return [s](auto& a) { a.taskStates.push_back(s); };
    };
    const auto thirdState = [](ArchivedTaskState s) -> Change {
        return [s](auto& a) { a.taskStates[2] = s; };
    };
    const std::pair<Change, std::string> cases[] = {
        {[](auto& a) { a.schemaVersion = "1.9"; }, "valid"},
        {[](auto& a) { a.schemaVersion = "1"; }, "暂不支持数据归档版本 1。"},
        // Listed twice: found before the second entry's hash is looked at.
        {add(archived(gamma), ArchivedReceipt{"r-gamma", 2, "", raw}),
         "数据归档包含重复回执：r-gamma。"},
        {add(changed), "回执 r-gamma 的校验值不匹配，归档可能已损坏或被修改。"},
        // A secret is found before the text is parsed.
        {add(archivedText("r-gamma", 2, "sk-proj0123456789abcdefghij not json")),
         "归档包含无效回执：r-gamma 包含疑似秘密。"},
        {add(archivedText("r-gamma", 2, raw.substr(0, 40))),
         "归档包含无效回执：r-gamma：不是有效的 JSON 文本"},
        {add(archivedText("r-other", 2, raw)), "归档目录与回执正文的标识不一致：r-other。"},
        {add(archivedText("r-gamma", 3, raw)), "归档目录与回执正文的标识不一致：r-gamma。"},
        // Over the importer's size limit, refused before the secret scan.
        {add(archivedText("r-gamma", 2, raw + std::string(ReceiptImporter::maxReceiptBytes, ' '))),
         "归档包含无效回执：r-gamma：" + ImportError::tooLarge().description()},
        {add(archived(incomplete)),
         "归档包含无效回执：macOS MVP 要求项目路径使用绝对路径。；必须用一句话说明 Agent "
         "当前为什么结束或暂停。"},
        {addState(completed("r-alpha::item-1")), "数据归档包含重复任务状态：r-alpha::item-1。"},
        {addState(completed("r-alpha::item-3")), "归档状态引用了不存在的任务：r-alpha::item-3。"},
        {thirdState(completed("r-beta::item-1", {"step-2", "step-1", "step-2"})),
         "归档状态引用了未知步骤：r-beta::item-1 / step-2。"},
        {thirdState(completed("r-beta::item-1", {"step-1", "step-3"})),
         "归档状态引用了未知步骤：r-beta::item-1 / step-3。"},
        {[](auto& a) {
             a.taskStates.push_back(a.taskStates[0]);
             a.receipts.push_back(a.receipts[0]);
         },
         "数据归档包含重复回执：r-alpha。"},
    };
    for (const auto& [change, expected] : cases) {
        SCOPED_TRACE(expected);
        auto archive = validArchive();
        change(archive);
        const std::string found = verdict(archive);
        EXPECT_EQ(expected.ends_with("文本") ? found.substr(0, expected.size()) : found, expected);
    }
}

// Progress: an export's three phases; a restore's receipts, task states and swap.
TEST_F(ArchiveManagerTest, AnArchiveRestoresIntoAnotherDatabaseAndOntoItsOwn) {
    // A ticked task with a note, a snoozed one, and a receipt whose only task was deleted.
    imported(validReceipt("r-alpha", 1, {"item-1", "item-2"}));
    imported(validReceipt("r-beta", 2));
    imported(validReceipt("r-gone", 1));
    ASSERT_TRUE(store->setStepCompleted("r-alpha::item-1", "step-1", true));
    ASSERT_TRUE(
        store->setStatus("r-alpha::item-2", TaskStatus::snoozed, at("2030-01-01T00:00:00Z")));
    ASSERT_TRUE(store->deleteTask("r-gone::item-1"));
    ASSERT_TRUE(store->setNote("r-alpha::item-1", "第一行\n第二行"));
    Steps steps;
    std::vector<std::string> staged;  // the restore's staging copy, while it works
    auto record = [&](std::int64_t done, std::int64_t total) {
        steps.emplace_back(done, total);
        for (const auto& name : namesIn(temporary)) {
            if (done == 1 && fs::exists(temporary / name / "staging.sqlite"))
                staged.push_back(name);
        }
    };
    const std::string archive = manager().exportData(false, record).value();
    EXPECT_EQ(archive.find('\n'), std::string::npos);  // compact; the pretty form is indented
    EXPECT_NE(manager().exportData(true)->find("\n  "), std::string::npos);
    EXPECT_NE(archive.find(R"(,"note":"第一行\n第二行")"), std::string::npos);
    EXPECT_EQ(archive.find(R"("note":null)"), std::string::npos);  // left out when there is none
    EXPECT_EQ(steps, (Steps{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    const auto decoded = KestrinArchive::decode(archive).value();
    EXPECT_EQ(decoded.exportedAt, now);
    const Snapshot before = snapshot(*store);
    EXPECT_EQ(Snapshot(decoded.receipts, decoded.taskStates), before);
    const AppPaths otherPaths(directory / "other");
    ASSERT_TRUE(otherPaths.ensureDirectories());
    auto other = SQLiteTaskStore::open(otherPaths.database()).value();
    steps.clear();
    auto restored = manager(other.get(), &otherPaths).restoreData(archive, record);
    ASSERT_TRUE(restored) << restored.error().description();
    EXPECT_EQ(steps, (Steps{{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}, {5, 5}}));
    EXPECT_TRUE(staged.size() == 1 && staged[0].starts_with("VelmoraArchiveRestore-"))
        << staged.size();
    EXPECT_TRUE(namesIn(temporary).empty());
    // No deletions are archived: r-gone's deleted task comes back pending.
    auto restoredData = snapshot(*other);
    ASSERT_EQ(restoredData.second.size(), 4u);
    EXPECT_EQ(restoredData.second[3],
              (ArchivedTaskState{"r-gone::item-1", TaskStatus::pending, std::nullopt, {}}));
    restoredData.second.pop_back();
    EXPECT_EQ(restoredData, before);
    // Onto its own database: later receipts, and local notes the archive lacks, are kept.
    ASSERT_TRUE(store->setStatus("r-alpha::item-1", TaskStatus::cancelled, std::nullopt));
    ASSERT_TRUE(store->setNote("r-alpha::item-1", "改过") &&
                store->setNote("r-beta::item-1", "本地"));
    ASSERT_TRUE(store->setStepCompleted("r-alpha::item-1", "step-2", true));
    imported(validReceipt("r-later", 1));
    auto onSame = manager().restoreData(archive);
    ASSERT_TRUE(onSame) << onSame.error().description();
    EXPECT_EQ(
        *onSame,
        (ArchiveRestoreOutcome{
            3, 3, paths.backups() / "Velmora-before-archive-restore-20260727-083000.sqlite"}));
    EXPECT_TRUE(fs::exists(onSame->safetyBackup));
    auto after = snapshot(*store);
    ASSERT_EQ(after.first.size(), 4u);
    after.first.erase(after.first.begin() + 3);
    after.second.erase(after.second.begin() + 3);  // r-later::item-1
    EXPECT_EQ(std::exchange(after.second[2].note, std::nullopt), "本地");
    EXPECT_EQ(after, before);
    // Backups in the same second get a random suffix; the live file is refused as a source.
    const Snapshot backedUp = snapshot(*store);
    const fs::path backup = manager().createDatabaseBackup().value();
    EXPECT_EQ(backup, paths.backups() / "Velmora-manual-20260727-083000.sqlite");
    const fs::path second = manager().createDatabaseBackup().value();
    const fs::path third = manager().createDatabaseBackup().value();
    EXPECT_TRUE(
        std::regex_match(second.filename().string(),
                         std::regex("Velmora-manual-20260727-083000-[0-9A-F]{8}\\.sqlite")));
    EXPECT_NE(second, third);
    EXPECT_EQ(snapshot(*SQLiteTaskStore::open(third).value()), backedUp);
    imported(validReceipt("r-last", 1));
    const Snapshot changed = snapshot(*store);
    EXPECT_EQ(manager()
                  .restoreDatabaseBackup(paths.backups() / ".." / "tasks.sqlite")
                  .error()
                  .description(),
              "不能使用当前任务数据库作为备份或恢复来源：" + paths.database().string());
    EXPECT_EQ(snapshot(*store), changed);
    EXPECT_EQ(namesIn(paths.backups()).size(), 4u);
    now += std::chrono::minutes(5);
    auto safety = manager().restoreDatabaseBackup(backup);
    ASSERT_TRUE(safety) << safety.error().description();
    EXPECT_EQ(*safety, paths.backups() / "Velmora-before-database-restore-20260727-083500.sqlite");
    EXPECT_EQ(snapshot(*store), backedUp);
    EXPECT_EQ(snapshot(*SQLiteTaskStore::open(*safety).value()), changed);
    // Another program's write between the export's two reads is not in the archive.
    auto otherProgram = SQLiteTaskStore::open(paths.database()).value();
    const std::string newer = rawJSON(validReceipt("r-later", 2, {"item-1", "item-2"}));
    auto writeBetweenReads = [&](std::int64_t done, std::int64_t) {
        if (done == 1) {
            ASSERT_TRUE(ReceiptImporter(*otherProgram).importData(newer));
        }
    };
    auto exported = KestrinArchive::decode(manager().exportData(false, writeBetweenReads).value());
    EXPECT_EQ(Snapshot(exported->receipts, exported->taskStates), backedUp);
    EXPECT_EQ(verdict(*exported), "valid");
    EXPECT_EQ(snapshot(*store).second.size(), backedUp.second.size() + 1);
    // A swap that fails (the live database busy) leaves no staging directory.
    SQLiteConnection locker =
        SQLiteConnection::open(paths.database(), SQLiteConnection::Mode::readWriteCreate).value();
    ASSERT_TRUE(locker.execute("BEGIN IMMEDIATE;"));
    auto busy = manager().restoreData(archive);
    ASSERT_TRUE(locker.execute("ROLLBACK;"));
    ASSERT_FALSE(busy);
    EXPECT_NE(busy.error().description().find("database is locked"), std::string::npos);
    EXPECT_TRUE(namesIn(temporary).empty());
}

// Refused archives change nothing; those refused by their own faults report no progress.
TEST_F(ArchiveManagerTest, ImporterAndStoreRefusalsArePassedOnWithNothingChanged) {
    auto receipt = validReceipt("r-alpha", 2);
    imported(receipt);
    const Snapshot before = snapshot(*store);
    const auto archiveOf = [](std::vector<ArchivedReceipt> r) {
        return KestrinArchive{KestrinArchive::currentSchemaVersion, {}, r, {}}.encode(false);
    };
    receipt.summary = "另一份内容";  // the stored version, another text
    const std::tuple<std::string, std::string, bool> cases[] = {
        // bytes, refusal, before any work
        {"{\"schema_version\": \"1.0.0\xff\"}", "数据归档必须是 UTF-8 JSON 文本。", true},
        {"{\"schema_version\": \"1.0.0\"}", "数据归档无法解析：exported_at：缺少必填字段", true},
        {archiveOf({archived(validReceipt("r-new", 1)), archived(validReceipt("r-alpha", 1))}),
         "归档中的 r-alpha v1 早于本地 v2，已停止恢复以避免覆盖较新数据。", false},
        {archiveOf({archived(receipt)}), ImportError::versionConflict("r-alpha", 2).description(),
         false},
    };
    for (const auto& [bytes, description, beforeAnyWork] : cases) {
        SCOPED_TRACE(description);
        int progressCalls = 0;
        auto restored = manager().restoreData(bytes, [&](auto, auto) { ++progressCalls; });
        ASSERT_FALSE(restored);
        EXPECT_EQ(restored.error().description(), description);
        EXPECT_EQ(progressCalls == 0, beforeAnyWork);
        EXPECT_EQ(snapshot(*store), before);
        EXPECT_TRUE(namesIn(paths.backups()).empty());
        EXPECT_TRUE(namesIn(temporary).empty());
    }
}
