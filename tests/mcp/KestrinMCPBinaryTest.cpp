// The real kestrin-mcp: start-up, hostile clients, shared database, examples, SIGKILL.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "MCPTestSupport.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

// One line with the program's prefix, and not a byte of input read.
TEST(KestrinMCPBinary, StartUpFailuresStopBeforeAnyInputIsRead) {
    for (const char* home : {".", "file/home", ""}) {
        SCOPED_TRACE(home);
        ScratchDirectory scratch;
        std::ofstream(scratch / "file") << "not a directory";
        sqliteExecute(scratch / "tasks.sqlite", "PRAGMA user_version = 2;");
        std::ofstream(scratch / "input") << requestLine("ping", 1);
        const int input = ::open((scratch / "input").c_str(), O_RDONLY);
        const std::vector<std::string> environment =
            *home ? environmentWithHome(scratch / home) : std::vector<std::string>{"HOME=relative"};
        ChildProcess server(KESTRIN_MCP_PATH, {}, environment, input);
        EXPECT_EQ(server.finish(), "");
        EXPECT_EQ(server.wait(), 1);
        const std::string diagnostics = server.standardError();
        EXPECT_EQ(diagnostics.rfind("kestrin-mcp 启动失败：", 0), 0u) << diagnostics;
        EXPECT_EQ(diagnostics.find('\n'), diagnostics.size() - 1) << diagnostics;
        EXPECT_EQ(::lseek(input, 0, SEEK_CUR), 0);
        EXPECT_EQ(sqliteRows(scratch / "tasks.sqlite", "PRAGMA user_version"), Rows{"2"});
        ::close(input);
    }
}

// Its next reply fails: it ends by itself, input still open, quietly, the database whole.
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
    EXPECT_EQ(sqliteRows(scratch / "tasks.sqlite",
                         "SELECT COUNT(*) <= 1, SUM((SELECT COUNT(*) FROM tasks"
                         " t WHERE t.receipt_id = r.receipt_id) != 2) IS NOT TRUE FROM receipts r;"
                         " PRAGMA quick_check;"),
              (Rows{"1|1", "ok"}));
}

TEST(KestrinMCPBinary, HugeLinesGarbageAndDeepNestingAreAnsweredAndServiceGoesOn) {
    ScratchDirectory scratch;
    ServerProcess server(scratch.path());
    ASSERT_TRUE(server.send(requestLine("ping", "before")));
    ASSERT_TRUE(server.readLine());
    [[maybe_unused]] const long baseline = server.residentKiB();
    const std::string filler(32u << 20, 'k');
    ASSERT_TRUE(server.send(R"({"jsonrpc":"2.0","id":"huge","method":"ping","params":{"f":")" +
                            filler + "\"}}\n"));
    EXPECT_EQ(server.readLine(), pong(R"("huge")"));
    ASSERT_TRUE(server.send(filler + "\n" + requestLine("ping", "after")));
    EXPECT_EQ(server.readLine(), parseError);
    EXPECT_EQ(server.readLine(), pong(R"("after")"));
#if !defined(__SANITIZE_ADDRESS__)  // whose allocator keeps freed memory on purpose
    // The 32 MiB line and its parse must not stay resident.
    EXPECT_LT(server.residentKiB(), baseline + 8 * 1024) << "baseline " << baseline << " KiB";
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
    EXPECT_EQ(lines.back(), pong(R"("after")"));
    lines.pop_back();
    for (const auto& line : lines) EXPECT_EQ(line, parseError);
    EXPECT_EQ(server.wait(), 0);
    EXPECT_EQ(server.standardError(), "");
}

// Racing to create the home, then each round all submit at once; last round one same receipt.
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
            const json receipt =
                round == rounds ? validReceipt("rc-shared-1", 1, 1) : validReceipt(id, 1, 2);
            ASSERT_TRUE(servers[index]->send(submission(round, receipt)));
        }
        for (auto& server : servers) {
            const auto line = server->readLine();
            ASSERT_TRUE(line) << server->wait(std::chrono::seconds(5)).value_or(-1);
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
    for (const char* directory : {"inbox", "processed", "rejected", "backups"})
        EXPECT_TRUE(std::filesystem::is_directory(home / directory)) << directory;
    EXPECT_EQ(sharedInserted, 1);
    EXPECT_EQ(sqliteRows(home / "tasks.sqlite",
                         "SELECT COUNT(*) FROM receipts; SELECT COUNT(*) FROM tasks"),
              (Rows{std::to_string(serverCount * rounds + 1),
                    std::to_string(serverCount * rounds * 2 + 1)}));
}

const std::filesystem::path sourceDirectory = VELMORA_SOURCE_DIR;
// The outcome of one submission of `receipt` (an object, or its text); no example draws a warning.
std::string submit(ServerProcess& server, const json& receipt) {
    EXPECT_TRUE(server.send(submission(1, receipt)));
    const auto line = server.readLine();
    const json result = line ? json::parse(*line)["result"] : json::object();
    EXPECT_EQ(result["structuredContent"].value("warnings", json::array()), json::array())
        << result;
    return result["isError"] == true ? "refused" : result["structuredContent"].value("result", "");
}

// Each example is accepted, then a duplicate; the guide's rewrite too, and its example is the file.
TEST(Examples, EveryExampleIsAcceptedAndThenADuplicateAndTheGuidesRewriteToo) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(sourceDirectory / "examples"))
        if (entry.path().extension() == ".json") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GE(files.size(), 9u);
    std::set<std::string> categories;
    ScratchDirectory scratch;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        ServerProcess server(scratch / file.stem());
        const std::string text = readFile(file);
        const json receipt = json::parse(text);
        EXPECT_EQ(submit(server, receipt), receipt["items"].empty() ? "no_action" : "inserted");
        EXPECT_EQ(submit(server, text), "duplicate");
        Rows expected;
        for (const auto& item : receipt["items"]) {
            expected.push_back(receipt["receipt_id"].get<std::string>() +
                               "::" + item["id"].get<std::string>() + "|" +
                               item["category"].get<std::string>() + "|pending");
            categories.insert(item["category"]);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(sqliteRows(scratch / file.stem() / "tasks.sqlite",
                             "SELECT task_key, category, status FROM tasks ORDER BY 1"),
                  expected);
        EXPECT_EQ(server.finish(), "");
        EXPECT_EQ(server.wait(), 0);
    }
    EXPECT_EQ(categories, (std::set<std::string>{"decision", "external_wait", "interface",
                                                 "permission", "physical", "terminal"}));
    const json terminal =
        json::parse(readFile(sourceDirectory / "examples" / "receipt-terminal.json"));
    json nested = terminal, rewritten = terminal;
    nested["items"][0]["steps"][3]["command"] =
        R"(curl -X POST https://ca.internal/issue -d '{"token": "dev-ca-2026"}')";
    rewritten["items"][0]["steps"][0]["command"] =
        "GITHUB_TOKEN=\"$(security find-generic-password -s gh -w)\" brew install mkcert nss";
    rewritten["items"][0]["steps"][3]["command"] =
        "curl -X POST https://ca.internal/issue -H \"Authorization: Bearer $CA_TOKEN\" "
        R"(-d '{"token": ""}')";
    ServerProcess server(scratch / "guide");
    EXPECT_EQ(submit(server, nested), "refused");
    EXPECT_EQ(submit(server, rewritten), "inserted");
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(server.wait(), 0);
    const std::string guide = readFile(sourceDirectory / "docs" / "receipts.md");
    const auto start = guide.find("```json\n", guide.find("\n## A complete example\n"));
    const auto end = guide.find("\n```\n", start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(json::parse(guide.substr(start + 8, end - start - 8)), terminal);
}

using Versions = std::map<std::string, std::int64_t>;  // per receipt

void expectConsistent(const std::filesystem::path& database, const Versions& answered) {
    // Killed before it made the file, its log mode (a hot journal, which only the next writer
    // may roll back) or its schema (one transaction).
    if (!std::filesystem::exists(database) ||
        std::filesystem::exists(database.string() + "-journal") ||
        sqliteRows(database, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'") ==
            Rows{"0"}) {
        EXPECT_TRUE(answered.empty());
        return;
    }
    EXPECT_EQ(sqliteRows(database, "PRAGMA quick_check;"), Rows{"ok"});
    // Raw text, task count and the tasks' version agree; no orphan task.
    EXPECT_EQ(
        sqliteRows(
            database,
            "SELECT r.receipt_id FROM receipts r WHERE json_extract(r.raw_json,"
            " '$.version') != r.version OR 1 + r.version % 3 != (SELECT COUNT(*) FROM tasks t"
            " WHERE t.receipt_id = r.receipt_id) OR 1 + r.version % 3 != (SELECT COUNT(*) FROM"
            " tasks t WHERE t.receipt_id = r.receipt_id AND t.receipt_version = r.version)"
            " UNION ALL SELECT task_key FROM tasks WHERE receipt_id NOT IN (SELECT receipt_id"
            " FROM receipts);"),
        Rows{});
    Versions stored;
    for (const auto& row : sqliteRows(database, "SELECT receipt_id, version FROM receipts"))
        stored[row.substr(0, row.find('|'))] = std::stoll(row.substr(row.find('|') + 1));
    for (const auto& [receiptID, version] : answered) {
        ASSERT_TRUE(stored.contains(receiptID)) << receiptID << " was answered but is not stored";
        EXPECT_GE(stored[receiptID], version) << receiptID;
    }
}

TEST(CrashSafety, KilledServersLoseNothingAnsweredAndLeaveNothingHalfWritten) {
    constexpr int killCount = 60,
                  perRound = 12;  // few enough for a whole burst to wait in the pipe
    ScratchDirectory scratch;
    const auto home = scratch / "home", database = home / "tasks.sqlite";
    const auto seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    Versions sent, answered;
    int receiptCount = 0, requestID = 0, unanswered = 0;
    for (int round = 0; round < killCount; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string burst;
        std::map<int, std::pair<std::string, std::int64_t>> pending;
        for (int index = 0; index < perRound; ++index) {
            auto chosen = sent.begin();
            const bool fresh = sent.empty() || random() % 2 == 0;
            if (!fresh) std::advance(chosen, random() % sent.size());
            const std::string receiptID =
                fresh ? "rc-crash-" + std::to_string(receiptCount++) : chosen->first;
            pending[requestID] = {receiptID, ++sent[receiptID]};
            // Version v has 1 + v % 3 items, so an update applied in part shows as a wrong count.
            const auto version = sent[receiptID];
            burst += submission(requestID++, validReceipt(receiptID, version, 1 + version % 3));
        }
        // The kill lands during start-up and recovery, inside an import, or between two.
        const auto answersBeforeKill = random() % perRound;
        ServerProcess server(home);
        ASSERT_TRUE(server.send(burst));
        std::vector<std::string> lines;
        while (lines.size() < answersBeforeKill) {
            auto line = server.readLine();
            ASSERT_TRUE(line) << "the server stopped answering";
            lines.push_back(*line);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 4000));
        ASSERT_EQ(::kill(server.pid(), SIGKILL), 0);
        ASSERT_EQ(server.wait(), 128 + SIGKILL);
        // Replies written before the kill are still in the pipe; one cut short has no line feed.
        while (auto line = server.readLine(std::chrono::seconds(5))) lines.push_back(*line);
        for (const auto& line : lines) {
            const json reply = json::parse(line);
            ASSERT_EQ(reply["result"]["isError"], false) << line;
            const auto& [receiptID, version] = pending.at(reply["id"].get<int>());
            const std::string result = reply["result"]["structuredContent"]["result"];
            EXPECT_TRUE(result == "inserted" || result == "updated") << line;
            answered[receiptID] = std::max(answered[receiptID], version);
        }
        unanswered += perRound - static_cast<int>(lines.size());
        expectConsistent(database, answered);
        if (HasFailure()) return;
    }
    EXPECT_GT(unanswered, killCount);  // kills that all fell after the last answer prove nothing
    EXPECT_FALSE(answered.empty());
    // A server started on what the last kill left works on normally.
    ServerProcess server(home);
    ASSERT_TRUE(server.send(submission("last", validReceipt("rc-after", 1, 2))));
    const auto reply = outputLines(server.finish());
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(json::parse(reply[0])["result"]["structuredContent"]["result"], "inserted");
    EXPECT_EQ(server.wait(), 0);
    answered["rc-after"] = 1;
    expectConsistent(database, answered);
}

}  // namespace
}  // namespace kestrin::testing
