// The user's notes: kept per task beside the three original tables, gone with
// their task, and carried through an archive.

#include <gtest/gtest.h>

#include "archive/ArchiveTestReceipts.h"
#include "core/intake/ReceiptImporter.h"
#include "core/archive/TaskArchiveManager.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

namespace {

class TaskNotesTest : public StoreFixture {
protected:
    std::string noteOf(const std::string& key) {
        auto text = store->note(key);
        EXPECT_TRUE(text) << text.error().description();
        return text ? *text : "<error>";
    }
};

TEST_F(TaskNotesTest, ANoteLivesExactlyAsLongAsItsTask) {
    struct Case {
        const char* name;
        std::function<void()> change;
        std::string expectedA;
    };
    const std::vector<Case> cases{
        {"status and ticks leave it",
         [this] {
             ASSERT_TRUE(store->setStepCompleted("r::a", "s1", true));
             ASSERT_TRUE(store->setStatus("r::a", TaskStatus::completed, std::nullopt));
         },
         "已重启"},
        {"a newer version keeping the item keeps it",
         [this] {
             imported(makeReceipt("r", 2, {makeItem("a"), makeItem("b")}));
         },
         "已重启"},
        {"deleting the task deletes it", [this] { ASSERT_TRUE(store->deleteTask("r::a")); }, ""},
        {"a newer version dropping the item deletes it",
         [this] { imported(makeReceipt("r", 2, {makeItem("b")})); }, ""},
        {"empty text clears it", [this] { ASSERT_TRUE(store->setNote("r::a", "")); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        exec("DELETE FROM receipts;");
        imported(makeReceipt("r", 1, {makeItem("a"), makeItem("b")}));
        ASSERT_TRUE(store->setNote("r::a", "已重启"));
        ASSERT_TRUE(store->setNote("r::b", "b 的备注"));
        c.change();
        EXPECT_EQ(noteOf("r::a"), c.expectedA);
        EXPECT_EQ(noteOf("r::b"), "b 的备注");
        // A re-imported task never inherits a dropped note.
        EXPECT_EQ(value("SELECT count(*) FROM task_notes WHERE task_key NOT IN "
                        "(SELECT task_key FROM tasks)"),
                  "0");
    }
}

TEST_F(TaskNotesTest, AnyUTF8TextIsKeptExactlyAndOtherInputIsRefused) {
    imported(makeReceipt("r", 1, {makeItem("a")}));
    constexpr char controlBytes[] = "\x01\t\r\n\x1b[31m red \x7f\0end";
    const std::string controls(controlBytes, sizeof controlBytes - 1);
    const std::string large(1 << 20, 'x');
    for (const auto& text : {controls, large, std::string("  备注\n\n")}) {
        ASSERT_TRUE(store->setNote("r::a", text));
        EXPECT_EQ(noteOf("r::a"), text);
    }

    struct Case {
        const char* key;
        std::string text;
        const char* expected;
    } refused[]{
        {"r::a", "\xff\xfe", "无法编码任务数据：备注不是 UTF-8 文本。"},
        {"r::missing", "x", "找不到任务：r::missing"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.key);
        auto done = store->setNote(c.key, c.text);
        ASSERT_FALSE(done);
        EXPECT_EQ(done.error().description(), c.expected);
    }
    EXPECT_EQ(noteOf("r::a"), "  备注\n\n");
    EXPECT_EQ(noteOf("r::missing"), "");
}

// A file written by a build without notes: the table appears, user_version
// and the three original tables stay exactly as they were.
TEST_F(TaskNotesTest, OpeningAnOlderFileAddsOnlyTheNotesTable) {
    imported(makeReceipt("r", 1, {makeItem("a")}));
    const auto original = [&] {
        return rows("SELECT sql FROM sqlite_master WHERE name != 'task_notes' ORDER BY name");
    };
    const auto before = original();
    store.reset();
    exec("DROP TABLE task_notes;");
    auto reopened = SQLiteTaskStore::open(databasePath);
    ASSERT_TRUE(reopened) << reopened.error().description();
    store = std::move(reopened).value();
    EXPECT_EQ(value("PRAGMA user_version"), "1");
    EXPECT_EQ(original(), before);
    EXPECT_TRUE(store->setNote("r::a", "ok"));
}

TEST_F(TaskNotesTest, AnArchiveCarriesNotesAndAnOlderArchiveLeavesThemAlone) {
    AppPaths paths(directory);
    auto importInto = [](SQLiteTaskStore& target, const InterventionReceipt& receipt) {
        auto done = ReceiptImporter(target).importData(rawJSON(receipt));
        ASSERT_TRUE(done) << done.error().description();
    };
    importInto(*store, validReceipt("r-1", 1, {"item-a", "item-b"}));
    ASSERT_TRUE(store->setNote("r-1::item-a", "第一行\n第二行"));
    auto bytes = TaskArchiveManager(*store, paths).exportData(false);
    ASSERT_TRUE(bytes);
    EXPECT_NE(bytes->find(R"("note":"第一行\n第二行")"), std::string::npos);
    EXPECT_EQ(bytes->find(R"("note":null)"), std::string::npos);

    // Restored into another data directory, the note comes back.
    AppPaths elsewhere(directory / "elsewhere");
    auto other = SQLiteTaskStore::open(elsewhere.database());
    ASSERT_TRUE(other);
    auto restored = TaskArchiveManager(**other, elsewhere).restoreData(*bytes);
    ASSERT_TRUE(restored) << restored.error().description();
    EXPECT_EQ((*other)->note("r-1::item-a").value(), "第一行\n第二行");
    EXPECT_EQ((*other)->note("r-1::item-b").value(), "");

    // An archive without the member (an older build's) keeps the local note.
    std::string older = *bytes;
    older.replace(older.find(R"(,"note":"第一行\n第二行")"),
                  std::string(R"(,"note":"第一行\n第二行")").size(), "");
    ASSERT_TRUE((*other)->setNote("r-1::item-a", "本地"));
    ASSERT_TRUE(TaskArchiveManager(**other, elsewhere).restoreData(older));
    EXPECT_EQ((*other)->note("r-1::item-a").value(), "本地");
}

}  // namespace
