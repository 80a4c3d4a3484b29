#include <gtest/gtest.h>

#include "core/store/SQLiteConnection.h"
#include "core/store/SQLiteTaskStore.h"
#include "core/store/SQLiteTransaction.h"
#include "core/store/StoreError.h"

using namespace kestrin;

TEST(StoreError, EveryDescriptionIsExact) {
    EXPECT_EQ(StoreError::open("disk I/O error").description(),
              "无法打开任务数据库：disk I/O error");
    EXPECT_EQ(StoreError::sqlite("database is locked").description(),
              "任务数据库操作失败：database is locked");
    EXPECT_EQ(StoreError::encode("无法编码事项 item-1。").description(),
              "无法编码任务数据：无法编码事项 item-1。");
    EXPECT_EQ(StoreError::decode("回执文件不是 UTF-8 文本。").description(),
              "无法读取任务数据：回执文件不是 UTF-8 文本。");
    EXPECT_EQ(StoreError::missingTask("r-42::item-1").description(), "找不到任务：r-42::item-1");
    EXPECT_EQ(StoreError::destinationExists("/tmp/a.sqlite").description(),
              "目标文件已经存在，为避免覆盖已停止：/tmp/a.sqlite");
    EXPECT_EQ(StoreError::backup("无法创建目标数据库。").description(),
              "任务数据库备份或恢复失败：无法创建目标数据库。");
    EXPECT_EQ(StoreError::integrity("没有返回检查结果。").description(),
              "任务数据库完整性检查失败：没有返回检查结果。");
    EXPECT_EQ(StoreError::unsupportedSchema(12, 1).description(),
              "任务数据库版本 12 高于当前支持的版本 1，请使用更新版本的 Velmora。");
    EXPECT_EQ(StoreError::versionConflictUnderLock(3, "r-42").description(),
              "回执 r-42 的版本 3 已被其他进程先行写入且内容不同，已拒绝本次导入以保护本地数据。");
}

TEST(StoreError, CasesWithEqualTextButDifferentKindsDiffer) {
    EXPECT_NE(StoreError::sqlite("x"), StoreError::open("x"));
    EXPECT_EQ(StoreError::missingTask("k"), StoreError::missingTask("k"));
}

TEST(SQLiteHelpers, ABindFailureNamesTheParameter) {
    auto connection = SQLiteConnection::open(":memory:", SQLiteConnection::Mode::readWriteCreate);
    ASSERT_TRUE(connection);
    auto statement = connection->prepare("SELECT ?, ?;");
    ASSERT_TRUE(statement);
    auto bound = statement->bind({SQLValue::text("a"), SQLValue::integer(2), SQLValue::null()});
    ASSERT_FALSE(bound);
    EXPECT_EQ(bound.error().description(), "任务数据库操作失败：无法绑定 SQL 参数 3。");
}

TEST(SQLiteHelpers, FailuresCarrySQLitesOrTheStoresOwnMessage) {
    SQLiteConnection none;
    EXPECT_EQ(none.execute("SELECT 1;").error().description(),
              "任务数据库操作失败：数据库连接不存在。");
    EXPECT_EQ(none.prepare("SELECT 1;").error().description(),
              "任务数据库操作失败：数据库连接不存在。");
    EXPECT_EQ(none.errorMessage(), "未知错误");

    auto connection = SQLiteConnection::open(":memory:", SQLiteConnection::Mode::readWriteCreate);
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->pragmaInteger("foreign_key_check").error().description(),
              "任务数据库操作失败：无法读取 PRAGMA foreign_key_check。");
    EXPECT_EQ(connection->execute("SELEC 1;").error().description(),
              "任务数据库操作失败：near \"SELEC\": syntax error");
    EXPECT_FALSE(connection->prepare("   "));  // compiles to no statement

    ASSERT_TRUE(connection->execute("CREATE TABLE t (x INTEGER PRIMARY KEY);"));
    ASSERT_TRUE(connection->run("INSERT INTO t VALUES (?);", {SQLValue::integer(1)}));
    EXPECT_EQ(
        connection->run("INSERT INTO t VALUES (?);", {SQLValue::integer(1)}).error().description(),
        "任务数据库操作失败：UNIQUE constraint failed: t.x");
}

TEST(SQLiteHelpers, ATransactionNotCommittedIsRolledBack) {
    auto connection = SQLiteConnection::open(":memory:", SQLiteConnection::Mode::readWriteCreate);
    ASSERT_TRUE(connection);
    ASSERT_TRUE(connection->execute("CREATE TABLE t (x);"));
    {
        auto transaction = SQLiteTransaction::begin(*connection);
        ASSERT_TRUE(transaction);
        ASSERT_TRUE(connection->execute("INSERT INTO t VALUES (1);"));
    }
    {
        auto transaction = SQLiteTransaction::begin(*connection);
        ASSERT_TRUE(transaction);
        ASSERT_TRUE(connection->execute("INSERT INTO t VALUES (2);"));
        ASSERT_TRUE(transaction->commit());
    }
    auto statement = connection->prepare("SELECT group_concat(x) FROM t;");
    ASSERT_TRUE(statement && statement->next());
    EXPECT_EQ(statement->text(0), "2");
}

TEST(SQLiteTaskStoreHash, IsLowerCaseHexSHA256OfTheExactBytes) {
    EXPECT_EQ(SQLiteTaskStore::hash(""),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(SQLiteTaskStore::hash("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_NE(SQLiteTaskStore::hash("{\"a\":1}"), SQLiteTaskStore::hash("{\"a\": 1}"));
}
