#include <gtest/gtest.h>

#include "core/store/SQLiteConnection.h"
#include "support/ScratchDirectory.h"

namespace kestrin {
namespace {

SQLiteConnection openConnection(const std::filesystem::path& path) {
    auto connection = SQLiteConnection::open(path, SQLiteConnection::Mode::readWriteCreate);
    EXPECT_TRUE(connection.ok());
    return std::move(connection).value();
}

std::int64_t rowCount(SQLiteConnection& connection) {
    auto count = connection.prepare("SELECT count(*) FROM t;");
    EXPECT_TRUE(count.ok() && count->next());
    return count->integer(0);
}

// A kept statement must behave as a freshly compiled one: its own rows when the
// same SQL runs nested, no bindings left over, and no read snapshot held open
// after a caller stopped reading halfway.
TEST(SQLiteStatementCache, AKeptStatementBehavesAsAFreshOne) {
    testing::ScratchDirectory directory;
    const auto path = directory.path() / "cache.sqlite";
    SQLiteConnection reader = openConnection(path);
    ASSERT_TRUE(reader.execute("PRAGMA journal_mode = WAL; CREATE TABLE t (x INTEGER);"
                               "INSERT INTO t VALUES (1), (2), (3);")
                    .ok());
    constexpr std::string_view ordered = "SELECT x FROM t ORDER BY x;";
    {
        auto outer = reader.prepare(ordered);
        ASSERT_TRUE(outer.ok() && outer->next());
        auto inner = reader.prepare(ordered);  // the same SQL while the first runs
        ASSERT_TRUE(inner.ok() && inner->next() && inner->next());
        EXPECT_EQ(inner->integer(0), 2);
        ASSERT_TRUE(outer->next());
        EXPECT_EQ(outer->integer(0), 2);
    }  // both go back: one is kept, the other finalized
    {
        auto bound = reader.prepare("SELECT ?;");
        ASSERT_TRUE(bound.ok() && bound->bind(1, SQLValue::integer(5)).ok() && bound->next());
    }
    auto again = reader.prepare("SELECT ?;");
    ASSERT_TRUE(again.ok() && again->next());
    EXPECT_EQ(again->optionalText(0), std::nullopt);

    EXPECT_EQ(rowCount(reader), 3);
    {
        auto halfway = reader.prepare(ordered);
        ASSERT_TRUE(halfway.ok() && halfway->next());
    }
    SQLiteConnection writer = openConnection(path);
    ASSERT_TRUE(writer.execute("INSERT INTO t VALUES (4);").ok());
    EXPECT_EQ(rowCount(reader), 4);

    // A statement may outlive its connection; it is then simply finalized.
    auto orphan = writer.prepare(ordered);
    ASSERT_TRUE(orphan.ok());
    writer = SQLiteConnection();
}

}  // namespace
}  // namespace kestrin
