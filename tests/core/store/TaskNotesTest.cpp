// The user's notes: kept per task beside the three original tables, gone with
// their task, and carried through an archive.

#include "archive/ArchiveTestReceipts.h"
#include "core/archive/TaskArchiveManager.h"
#include "core/intake/ReceiptImporter.h"
#include "tools/StoreFixture.h"

using namespace kestrin;
using namespace kestrin::testing;

using TaskNotesTest = StoreFixture;

TEST_F(TaskNotesTest, ANoteLivesExactlyAsLongAsItsTask) {
    const std::vector<std::tuple<const char*, std::function<void()>, std::string>> cases{
        {"status and ticks leave it",
         [&] {
             ASSERT_TRUE(store->setStepCompleted("r::a", "s1", true));
             ASSERT_TRUE(store->setStatus("r::a", TaskStatus::completed, std::nullopt));
         },
         "已重启"},
        {"a newer version keeping the item keeps it",
         [&] {
             imported(makeReceipt("r", 2, {makeItem("a"), makeItem("b")}));
         },
         "已重启"},
        {"deleting the task deletes it", [&] { ASSERT_TRUE(store->deleteTask("r::a")); }, ""},
        {"a newer version dropping the item deletes it",
         [&] { imported(makeReceipt("r", 2, {makeItem("b")})); }, ""},
        {"empty text clears it", [&] { ASSERT_TRUE(store->setNote("r::a", "")); }, ""},
    };
    for (const auto& [name, change, expectedA] : cases) {
        SCOPED_TRACE(name);
        exec("DELETE FROM receipts;");
        imported(makeReceipt("r", 1, {makeItem("a"), makeItem("b")}));
        ASSERT_TRUE(store->setNote("r::a", "已重启"));
        ASSERT_TRUE(store->setNote("r::b", "b 的备注"));
        change();
        EXPECT_EQ(store->note("r::a").value(), expectedA);
        EXPECT_EQ(store->note("r::b").value(), "b 的备注");
        // A re-imported task never inherits a dropped note.
        EXPECT_EQ(value("SELECT count(*) FROM task_notes WHERE task_key NOT IN "
                        "(SELECT task_key FROM tasks)"),
                  "0");
    }
}

TEST_F(TaskNotesTest, AnyUTF8TextIsKeptExactlyAndOtherInputIsRefused) {
    imported(makeReceipt("r", 1, {makeItem("a")}));
    constexpr char controlBytes[] = "\x01\t\r\n\x1b[31m red \x7f\0end";
    for (const auto& text : {std::string(controlBytes, sizeof controlBytes - 1),
                             std::string(1 << 20, 'x'), std::string("  备注\n\n")}) {
        ASSERT_TRUE(store->setNote("r::a", text));
        EXPECT_EQ(store->note("r::a").value(), text);
    }
    EXPECT_EQ(store->setNote("r::a", "\xff\xfe").error(),
              StoreError::encode("备注不是 UTF-8 文本。"));
    EXPECT_EQ(store->setNote("r::missing", "x").error(), StoreError::missingTask("r::missing"));
    EXPECT_EQ(store->note("r::a").value(), "  备注\n\n");
    EXPECT_EQ(store->note("r::missing").value(), "");
}

TEST_F(TaskNotesTest, AnArchiveCarriesNotesAndAnOlderArchiveLeavesThemAlone) {
    ASSERT_TRUE(
        ReceiptImporter(*store).importData(rawJSON(validReceipt("r-1", 1, {"item-a", "item-b"}))));
    ASSERT_TRUE(store->setNote("r-1::item-a", "第一行\n第二行"));
    auto bytes = TaskArchiveManager(*store, AppPaths(directory)).exportData(false).value();
    const std::string member = R"(,"note":"第一行\n第二行")";
    EXPECT_NE(bytes.find(member), std::string::npos);
    EXPECT_EQ(bytes.find(R"("note":null)"), std::string::npos);

    // Restored into another data directory, the note comes back.
    AppPaths elsewhere(directory / "elsewhere");
    auto other = std::move(SQLiteTaskStore::open(elsewhere.database())).value();
    ASSERT_TRUE(TaskArchiveManager(*other, elsewhere).restoreData(bytes));
    EXPECT_EQ(other->note("r-1::item-a").value(), "第一行\n第二行");
    EXPECT_EQ(other->note("r-1::item-b").value(), "");

    // An archive without the member (an older build's) keeps the local note.
    ASSERT_TRUE(other->setNote("r-1::item-a", "本地"));
    ASSERT_TRUE(TaskArchiveManager(*other, elsewhere)
                    .restoreData(bytes.replace(bytes.find(member), member.size(), "")));
    EXPECT_EQ(other->note("r-1::item-a").value(), "本地");
}
