// kestrin-mcp killed with SIGKILL at random moments while it stores a stream of
// submissions, round after round on one data directory. After every kill the
// database must pass its quick check, every receipt must be stored whole (its
// row and exactly the tasks of its stored version) or not at all, and every
// submission the server answered must still be there. The next server starts on
// whatever the killed one left behind, write-ahead log included.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "MCPTestSupport.h"
#include "ServerProcess.h"
#include "support/SQLiteRows.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

using nlohmann::json;

constexpr int killCount = 60;
// Small enough for the whole burst to wait in the pipe, so sending never
// blocks on the server.
constexpr int submissionsPerRound = 12;

// A receipt's version `version` has 1 + version % 3 items: the count changes from one version to
// the next, so an update applied in part shows as a wrong count.

// The highest version of each receipt the server has answered for.
using AnsweredVersions = std::map<std::string, std::int64_t>;
using Rows = std::vector<std::string>;

void expectConsistent(const std::filesystem::path& database, const AnsweredVersions& answered) {
    // Killed before it created the file, or its schema (created in one transaction: all or none).
    if (!std::filesystem::exists(database) ||
        sqliteRows(database, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'") ==
            Rows{"0"}) {
        EXPECT_TRUE(answered.empty());
        return;
    }
    EXPECT_EQ(sqliteRows(database, "PRAGMA quick_check;"), Rows{"ok"});
    // Per receipt: the version inside its raw text, all its tasks and those written from its
    // version match its version; no task without its receipt.
    EXPECT_EQ(sqliteRows(database,
                         "SELECT r.receipt_id FROM receipts r WHERE "
                         "json_extract(r.raw_json, '$.version') != r.version OR 1 + r.version % 3 "
                         "!= (SELECT COUNT(*) FROM tasks t WHERE t.receipt_id = r.receipt_id) OR "
                         "1 + r.version % 3 != (SELECT COUNT(*) FROM tasks t WHERE t.receipt_id = "
                         "r.receipt_id AND t.receipt_version = r.version) UNION ALL SELECT "
                         "task_key FROM tasks WHERE receipt_id NOT IN (SELECT receipt_id FROM "
                         "receipts);"),
              Rows{});
    std::map<std::string, std::int64_t> stored;
    for (const auto& row : sqliteRows(database, "SELECT receipt_id, version FROM receipts")) {
        stored[row.substr(0, row.find('|'))] = std::stoll(row.substr(row.find('|') + 1));
    }
    for (const auto& [receiptID, version] : answered) {
        const auto found = stored.find(receiptID);
        ASSERT_NE(found, stored.end()) << receiptID << " was answered but is not stored";
        EXPECT_GE(found->second, version) << receiptID;
    }
}

TEST(CrashSafety, KilledServersLoseNothingAnsweredAndLeaveNothingHalfWritten) {
    ScratchDirectory scratch;
    const auto home = scratch / "home";
    const auto database = home / "tasks.sqlite";

    const auto seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);

    std::map<std::string, std::int64_t> sentVersions;
    AnsweredVersions answered;
    int receiptCount = 0;
    int requestID = 0;
    int unansweredCount = 0;

    for (int round = 0; round < killCount; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // New receipts mixed with newer versions of earlier ones, whether or
        // not those were answered.
        std::string burst;
        std::map<int, std::pair<std::string, std::int64_t>> pending;
        for (int index = 0; index < submissionsPerRound; ++index) {
            std::string receiptID;
            if (sentVersions.empty() || random() % 2 == 0) {
                receiptID = "rc-crash-" + std::to_string(receiptCount++);
            } else {
                auto chosen = sentVersions.begin();
                std::advance(chosen, random() % sentVersions.size());
                receiptID = chosen->first;
            }
            const std::int64_t version = ++sentVersions[receiptID];
            const int id = requestID++;
            pending[id] = {receiptID, version};
            burst += toolCallLine(
                id, "submit_intervention_receipt",
                {{"receipt", validReceipt(receiptID, version, static_cast<int>(1 + version % 3))}});
        }

        // The kill lands after a random number of answers and a random pause:
        // during start-up and recovery, inside an import, or between two.
        const auto answersBeforeKill = random() % submissionsPerRound;
        const auto pause = std::chrono::microseconds(random() % 4000);

        ServerProcess server(home);
        ASSERT_TRUE(server.started());
        ASSERT_TRUE(server.send(burst));
        std::vector<std::string> lines;
        while (lines.size() < answersBeforeKill) {
            auto line = server.readLine();
            ASSERT_TRUE(line) << "the server stopped answering";
            lines.push_back(*line);
        }
        std::this_thread::sleep_for(pause);
        ASSERT_EQ(::kill(server.pid(), SIGKILL), 0);
        ASSERT_EQ(server.wait(), 128 + SIGKILL);
        // Replies written before the kill are still in the pipe; a reply cut
        // short by it has no line feed and does not count.
        while (auto line = server.readLine(std::chrono::seconds(5))) lines.push_back(*line);

        for (const auto& line : lines) {
            const json reply = json::parse(line);
            ASSERT_EQ(reply["result"]["isError"], false) << line;
            const auto& [receiptID, version] = pending.at(reply["id"].get<int>());
            const std::string result = reply["result"]["structuredContent"]["result"];
            EXPECT_TRUE(result == "inserted" || result == "updated") << line;
            answered[receiptID] = std::max(answered[receiptID], version);
        }
        unansweredCount += submissionsPerRound - static_cast<int>(lines.size());

        expectConsistent(database, answered);
        if (HasFailure()) return;
    }

    // Kills that all fell after the last answer would prove nothing.
    EXPECT_GT(unansweredCount, killCount);
    EXPECT_FALSE(answered.empty());

    // A server started on what the last kill left works on normally.
    ServerProcess server(home);
    ASSERT_TRUE(server.send(toolCallLine("last", "submit_intervention_receipt",
                                         {{"receipt", validReceipt("rc-after", 1, 2)}})));
    const auto reply = replies(server.finish());
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0]["result"]["structuredContent"]["result"], "inserted");
    EXPECT_EQ(server.wait(), 0);
    answered["rc-after"] = 1;
    expectConsistent(database, answered);
}

}  // namespace
}  // namespace kestrin::testing
