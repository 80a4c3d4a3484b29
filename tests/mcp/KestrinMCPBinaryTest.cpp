// The installed program as an agent runs it: a child process spoken to over
// pipes, including clients that misbehave or go away, and several servers on
// one database.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <random>

#include "MCPTestSupport.h"
#include "support/ScratchDirectory.h"
#include "ServerProcess.h"

namespace kestrin::testing {
namespace {

using nlohmann::json;

const std::string parseError =
    R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";
const std::string pingReply = R"({"id":"after","jsonrpc":"2.0","result":{}})";

std::string submission(const json& id, const json& receipt) {
    return toolCallLine(id, "submit_intervention_receipt", {{"receipt", receipt}});
}

// Runs `sql` on `database` (a single statement without result) through a
// separate connection.
void execute(const std::filesystem::path& database, const std::string& sql) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &connection), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(connection);
}

TEST(KestrinMCPBinary, ServesAClientOpeningOnAFreshDataDirectory) {
    ScratchDirectory scratch;
    const auto home = scratch / "new" / "home";
    ServerProcess server(home);
    ASSERT_TRUE(server.started());

    // Everything at once, as clients do; each reply must arrive while the
    // input is still open, so it was not held back in a buffer.
    ASSERT_TRUE(
        server.send(requestLine("initialize", json(0), json{{"protocolVersion", "2024-11-05"}}) +
                    requestLine("notifications/initialized") + requestLine("tools/list", json(1)) +
                    submission(json(2), validReceipt("rc-release-1", 1, 2))));
    const auto initialize = server.readLine();
    const auto list = server.readLine();
    const auto submitted = server.readLine();
    ASSERT_TRUE(initialize && list && submitted);
    EXPECT_EQ(json::parse(*initialize)["result"]["protocolVersion"], "2024-11-05");
    EXPECT_EQ(json::parse(*list)["result"]["tools"].size(), 2u);
    const json payload = json::parse(*submitted)["result"]["structuredContent"];
    EXPECT_EQ(payload["result"], "inserted");
    EXPECT_EQ(payload["data_path"], home.string());

    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 0);
    EXPECT_EQ(server.standardError(), "");
    for (const char* directory : {"inbox", "processed", "rejected", "backups"}) {
        EXPECT_TRUE(std::filesystem::is_directory(home / directory)) << directory;
    }
    EXPECT_EQ(queryInteger(home / "tasks.sqlite", "SELECT COUNT(*) FROM tasks"), 2);
}

TEST(KestrinMCPBinary, ImmediateEndOfInputExitsZeroWithoutOutput) {
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 0);
    EXPECT_EQ(server.standardError(), "");
    EXPECT_TRUE(std::filesystem::exists(scratch / "tasks.sqlite"));
}

TEST(KestrinMCPBinary, ANewerDatabaseStopsStartUpBeforeAnyInputIsRead) {
    ScratchDirectory scratch;
    execute(scratch / "tasks.sqlite", "PRAGMA user_version = 2;");
    { std::ofstream(scratch / "input") << requestLine("ping", json(1)); }
    const int input = ::open((scratch / "input").c_str(), O_RDONLY);
    ASSERT_GE(input, 0);

    ServerProcess server(scratch.path(), input);
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 1);
    EXPECT_EQ(server.standardError(),
              "kestrin-mcp 启动失败：任务数据库版本 2 高于当前支持的版本 1，请使用更新版本的 "
              "Velmora。\n");
    // The shared file offset shows whether the server read its input.
    EXPECT_EQ(::lseek(input, 0, SEEK_CUR), 0);
    ::close(input);
    EXPECT_EQ(queryInteger(scratch / "tasks.sqlite", "PRAGMA user_version"), 2);
}

TEST(KestrinMCPBinary, AnUncreatableDataDirectoryStopsStartUp) {
    ScratchDirectory scratch;
    std::ofstream(scratch / "file") << "not a directory";
    ServerProcess server(scratch / "file" / "home");
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 1);
    const std::string diagnostics = server.standardError();
    const std::string expectedStart =
        "kestrin-mcp 启动失败：无法创建目录 " + (scratch / "file" / "home").string() + "：";
    EXPECT_EQ(diagnostics.rfind(expectedStart, 0), 0u) << diagnostics;
    EXPECT_EQ(diagnostics.find('\n'), diagnostics.size() - 1) << diagnostics;
}

TEST(KestrinMCPBinary, AClientThatClosesItsEndLeavesTheServerEndingQuietly) {
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());
    ASSERT_TRUE(server.send(requestLine("ping", json(1))));
    ASSERT_TRUE(server.readLine());
    server.closeOutput();

    // Its next reply fails; it must end by itself, input still open, without
    // a signal, a word on standard error, or a damaged database.
    std::string burst;
    for (int index = 0; index < 50; ++index) {
        burst += submission(json(index), validReceipt("rc-gone-" + std::to_string(index), 1, 2));
    }
    server.send(burst);
    EXPECT_EQ(server.wait(std::chrono::seconds(30)), 0);
    EXPECT_EQ(server.standardError(), "");

    const auto database = scratch / "tasks.sqlite";
    EXPECT_EQ(queryInteger(database,
                           "SELECT COUNT(*) FROM receipts r WHERE (SELECT COUNT(*) FROM "
                           "tasks t WHERE t.receipt_id = r.receipt_id) != 2"),
              0);
    EXPECT_LE(queryInteger(database, "SELECT COUNT(*) FROM receipts"), 1);
    EXPECT_EQ(
        queryInteger(database, "SELECT COUNT(*) FROM pragma_quick_check WHERE quick_check != 'ok'"),
        0);
}

TEST(KestrinMCPBinary, AHugeLineIsAnsweredAndItsMemoryGivenBack) {
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());
    ASSERT_TRUE(server.send(requestLine("ping", json("before"))));
    ASSERT_TRUE(server.readLine());
    const long baseline = server.residentKiB();

    const std::string filler(32u << 20, 'k');
    ASSERT_TRUE(server.send(R"({"jsonrpc":"2.0","id":"huge","method":"ping","params":{"f":")" +
                            filler + "\"}}\n"));
    EXPECT_EQ(server.readLine(), R"({"id":"huge","jsonrpc":"2.0","result":{}})");
    ASSERT_TRUE(server.send(filler + "\n" + requestLine("ping", json("after"))));
    EXPECT_EQ(server.readLine(), parseError);
    EXPECT_EQ(server.readLine(), pingReply);

#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizer's allocator keeps freed memory on purpose; elsewhere the
    // 32 MiB line and its parse must not stay resident.
    EXPECT_LT(server.residentKiB(), baseline + 8 * 1024) << "baseline " << baseline << " KiB";
#else
    (void)baseline;
#endif
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 0);
    EXPECT_EQ(server.standardError(), "");
}

TEST(KestrinMCPBinary, BinaryGarbageAndDeepNestingAreAnsweredAndServiceGoesOn) {
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());

    std::mt19937 random(20260727);
    std::string blob(1 << 20, '\0');
    for (char& byte : blob) byte = static_cast<char>(random() & 0xFF);
    const std::string deepArray = std::string(1000000, '[') + std::string(1000000, ']');
    const std::string deepObject =
        R"({"jsonrpc":"2.0","id":1,"method":"ping","params":)" + deepArray + "}";
    ASSERT_TRUE(server.send(blob + "\n" + deepArray + "\n" + deepObject + "\n" +
                            std::string(500000, '{') + "\n" + requestLine("ping", json("after"))));
    server.closeInput();

    std::vector<std::string> lines;
    while (auto line = server.readLine()) lines.push_back(*line);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.back(), pingReply);
    lines.pop_back();
    for (const auto& line : lines) EXPECT_EQ(line, parseError);
    EXPECT_EQ(server.wait(), 0);
    EXPECT_EQ(server.standardError(), "");
}

TEST(KestrinMCPBinary, SeveralServersOnOneDatabaseLoseNothing) {
    ScratchDirectory scratch;
    const auto home = scratch / "shared";
    constexpr int serverCount = 4;
    constexpr int rounds = 30;

    // All start at once on a directory that does not exist yet, so they also
    // race to create and migrate the database. Then, round after round, every
    // agent submits at the same moment and waits for its answer, as agents do;
    // in one round all of them submit the very same receipt.
    std::vector<std::unique_ptr<ServerProcess>> servers;
    for (int index = 0; index < serverCount; ++index) {
        servers.push_back(std::make_unique<ServerProcess>(home));
    }
    const json shared = validReceipt("rc-shared-1", 1, 1);
    int sharedInserted = 0;
    for (int round = 0; round <= rounds; ++round) {
        for (int index = 0; index < serverCount; ++index) {
            const std::string id = "rc-agent" + std::to_string(index) + "-" + std::to_string(round);
            ASSERT_TRUE(servers[static_cast<std::size_t>(index)]->send(
                submission(json(round), round == rounds ? shared : validReceipt(id, 1, 2))));
        }
        for (auto& server : servers) {
            const auto line = server->readLine();
            ASSERT_TRUE(line);
            const json result = json::parse(*line)["result"];
            ASSERT_EQ(result["isError"], false) << *line;
            const json& outcome = result["structuredContent"]["result"];
            if (round < rounds) {
                EXPECT_EQ(outcome, "inserted") << *line;
            } else {
                EXPECT_TRUE(outcome == "inserted" || outcome == "duplicate") << *line;
                sharedInserted += outcome == "inserted";
            }
        }
    }
    for (auto& server : servers) {
        EXPECT_EQ(server->finish(), "");
        EXPECT_EQ(server->wait(), 0);
        EXPECT_EQ(server->standardError(), "");
    }
    EXPECT_EQ(sharedInserted, 1);
    EXPECT_EQ(queryInteger(home / "tasks.sqlite", "SELECT COUNT(*) FROM receipts"),
              serverCount * rounds + 1);
    EXPECT_EQ(queryInteger(home / "tasks.sqlite", "SELECT COUNT(*) FROM tasks"),
              serverCount * rounds * 2 + 1);
}

}  // namespace
}  // namespace kestrin::testing
