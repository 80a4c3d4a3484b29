// The installed program as an agent runs it: a child process spoken to over pipes, including
// clients that misbehave or go away, and several servers on one database.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <random>

#include "MCPTestSupport.h"
#include "ServerProcess.h"
#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

const std::string parseError =
    R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";

std::string submission(const json& id, const json& receipt) {
    return toolCallLine(id, "submit_intervention_receipt", {{"receipt", receipt}});
}

// Ends the server's input and expects a clean exit with nothing more said.
void expectCleanEnd(ServerProcess& server) {
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 0);
    EXPECT_EQ(server.standardError(), "");
}

TEST(KestrinMCPBinary, ServesAClientOpeningOnAFreshDataDirectory) {
    ScratchDirectory scratch;
    const auto home = scratch / "new" / "home";
    ServerProcess server(home);
    // Everything at once, as clients do; each reply must arrive while the input is still open,
    // so none was held back in a buffer.
    ASSERT_TRUE(server.send(requestLine("initialize", 0, {{"protocolVersion", "2024-11-05"}}) +
                            requestLine("notifications/initialized") +
                            requestLine("tools/list", 1) +
                            submission(2, validReceipt("rc-release-1", 1, 2))));
    const auto initialize = server.readLine(), list = server.readLine(),
               submitted = server.readLine();
    ASSERT_TRUE(initialize && list && submitted);
    EXPECT_EQ(json::parse(*initialize)["result"]["protocolVersion"], "2024-11-05");
    EXPECT_EQ(json::parse(*list)["result"]["tools"].size(), 2u);
    EXPECT_EQ(json::parse(*submitted)["result"]["structuredContent"]["result"], "inserted");
    expectCleanEnd(server);
    for (const char* directory : {"inbox", "processed", "rejected", "backups"})
        EXPECT_TRUE(std::filesystem::is_directory(home / directory)) << directory;
    EXPECT_EQ(sqliteRows(home / "tasks.sqlite", "SELECT COUNT(*) FROM tasks"), Rows{"2"});
}

TEST(KestrinMCPBinary, StartUpFailuresStopBeforeAnyInputIsRead) {
    // SQL run on <scratch>/tasks.sqlite first, the home under the scratch directory, the status.
    const std::tuple<const char*, const char*, int> cases[] = {
        {"", ".", 0}, {"PRAGMA user_version = 2;", ".", 1}, {"", "file/home", 1}};
    for (const auto& [setUpSQL, home, status] : cases) {
        SCOPED_TRACE(std::string(setUpSQL) + home);
        ScratchDirectory scratch;
        std::ofstream(scratch / "file") << "not a directory";
        if (*setUpSQL) sqliteExecute(scratch / "tasks.sqlite", setUpSQL);
        std::ofstream(scratch / "input") << requestLine("ping", 1);
        const int input = ::open((scratch / "input").c_str(), O_RDONLY);
        ASSERT_GE(input, 0);
        ServerProcess server(scratch / home, input);
        const std::string output = server.finish();
        EXPECT_EQ(server.wait(), status);
        const std::string diagnostics = server.standardError();
        if (status == 0) {
            EXPECT_EQ(output, "{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
            EXPECT_EQ(diagnostics, "");
        } else {
            EXPECT_EQ(output, "");
            // The program's own prefix, one line; the cause's text is the core's.
            EXPECT_EQ(diagnostics.rfind("kestrin-mcp 启动失败：", 0), 0u) << diagnostics;
            EXPECT_EQ(diagnostics.find('\n'), diagnostics.size() - 1) << diagnostics;
            EXPECT_EQ(::lseek(input, 0, SEEK_CUR), 0);  // the shared offset: nothing was read
        }
        if (*setUpSQL) {
            EXPECT_EQ(sqliteRows(scratch / "tasks.sqlite", "PRAGMA user_version"), Rows{"2"});
        }
        ::close(input);
    }
}

// Its next reply fails; it must end by itself, input still open, without a signal, a word on
// standard error, or a damaged database.
TEST(KestrinMCPBinary, AClientThatClosesItsEndLeavesTheServerEndingQuietly) {
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());
    ASSERT_TRUE(server.send(requestLine("ping", 1)));
    ASSERT_TRUE(server.readLine());
    server.closeOutput();
    std::string burst;
    for (int index = 0; index < 50; ++index)
        burst += submission(index, validReceipt("rc-gone-" + std::to_string(index), 1, 2));
    server.send(burst);
    EXPECT_EQ(server.wait(std::chrono::seconds(30)), 0);
    EXPECT_EQ(server.standardError(), "");
    EXPECT_EQ(
        sqliteRows(scratch / "tasks.sqlite",
                   "SELECT COUNT(*) <= 1, SUM((SELECT COUNT(*) FROM tasks t WHERE t.receipt_id"
                   " = r.receipt_id) != 2) IS NOT TRUE FROM receipts r; PRAGMA quick_check;"),
        (Rows{"1|1", "ok"}));
}

TEST(KestrinMCPBinary, HugeLinesGarbageAndDeepNestingAreAnsweredAndServiceGoesOn) {
    const std::string pingReply = R"({"id":"after","jsonrpc":"2.0","result":{}})";
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());
    ASSERT_TRUE(server.send(requestLine("ping", "before")));
    ASSERT_TRUE(server.readLine());
    const long baseline = server.residentKiB();
    const std::string filler(32u << 20, 'k');
    ASSERT_TRUE(server.send(R"({"jsonrpc":"2.0","id":"huge","method":"ping","params":{"f":")" +
                            filler + "\"}}\n"));
    EXPECT_EQ(server.readLine(), R"({"id":"huge","jsonrpc":"2.0","result":{}})");
    ASSERT_TRUE(server.send(filler + "\n" + requestLine("ping", "after")));
    EXPECT_EQ(server.readLine(), parseError);
    EXPECT_EQ(server.readLine(), pingReply);
#if !defined(__SANITIZE_ADDRESS__)
    // Elsewhere than under the sanitizer's allocator, which keeps freed memory on purpose, the
    // 32 MiB line and its parse must not stay resident.
    EXPECT_LT(server.residentKiB(), baseline + 8 * 1024) << "baseline " << baseline << " KiB";
#else
    (void)baseline;
#endif
    std::mt19937 random(20260727);
    std::string blob(1 << 20, '\0');
    for (char& byte : blob) byte = static_cast<char>(random() & 0xFF);
    const std::string deepArray = std::string(1000000, '[') + std::string(1000000, ']');
    ASSERT_TRUE(server.send(
        blob + "\n" + deepArray + "\n" + R"({"jsonrpc":"2.0","id":1,"method":"ping","params":)" +
        deepArray + "}\n" + std::string(500000, '{') + "\n" + requestLine("ping", "after")));
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

// All start at once on a directory that does not exist yet, so they race to create and migrate the
// database; then round after round every agent submits at the same moment and waits, as agents do;
// in the last round all submit the very same receipt.
TEST(KestrinMCPBinary, SeveralServersOnOneDatabaseLoseNothing) {
    constexpr int serverCount = 4, rounds = 30;
    ScratchDirectory scratch;
    const auto home = scratch / "shared";
    std::vector<std::unique_ptr<ServerProcess>> servers;
    for (int index = 0; index < serverCount; ++index)
        servers.push_back(std::make_unique<ServerProcess>(home));
    int sharedInserted = 0;
    for (int round = 0; round <= rounds; ++round) {
        for (int index = 0; index < serverCount; ++index) {
            const std::string id = "rc-agent" + std::to_string(index) + "-" + std::to_string(round);
            ASSERT_TRUE(servers[index]->send(
                submission(round, round == rounds ? validReceipt("rc-shared-1", 1, 1)
                                                  : validReceipt(id, 1, 2))));
        }
        for (auto& server : servers) {
            const auto line = server->readLine();
            const auto ended = line ? std::nullopt : server->wait(std::chrono::seconds(5));
            ASSERT_TRUE(line) << (ended ? "it ended with " + std::to_string(*ended) + ": " +
                                              server->standardError()
                                        : "no answer");
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
    for (auto& server : servers) expectCleanEnd(*server);
    EXPECT_EQ(sharedInserted, 1);
    EXPECT_EQ(sqliteRows(home / "tasks.sqlite",
                         "SELECT (SELECT COUNT(*) FROM receipts), (SELECT COUNT(*) FROM tasks)"),
              Rows{std::to_string(serverCount * rounds + 1) + "|" +
                   std::to_string(serverCount * rounds * 2 + 1)});
}

}  // namespace
}  // namespace kestrin::testing
