// kestrin-mcp killed with SIGKILL at random moments while it stores bursts of submissions, round
// after round on one data directory, each server starting on what the last left (write-ahead log
// included). After every kill the database passes its quick check, every receipt is stored whole
// or not at all, and every submission the server answered is still there.

#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <random>
#include <thread>

#include "MCPTestSupport.h"
#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

using Versions = std::map<std::string, std::int64_t>;  // per receipt

// Version v has 1 + v % 3 items, so an update applied in part shows as a wrong count.
json receiptAt(const std::string& receiptID, std::int64_t version) {
    return validReceipt(receiptID, version, static_cast<int>(1 + version % 3));
}

void expectConsistent(const std::filesystem::path& database, const Versions& answered) {
    // Killed before it created the file or its schema (one transaction: all or none).
    if (!std::filesystem::exists(database) ||
        sqliteRows(database, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table'") ==
            Rows{"0"}) {
        EXPECT_TRUE(answered.empty());
        return;
    }
    EXPECT_EQ(sqliteRows(database, "PRAGMA quick_check;"), Rows{"ok"});
    // The version in the raw text, the task count and the tasks' version agree; no orphan task.
    EXPECT_EQ(sqliteRows(database,
                         "SELECT r.receipt_id FROM receipts r WHERE "
                         "json_extract(r.raw_json, '$.version') != r.version OR 1 + r.version % 3 "
                         "!= (SELECT COUNT(*) FROM tasks t WHERE t.receipt_id = r.receipt_id) OR "
                         "1 + r.version % 3 != (SELECT COUNT(*) FROM tasks t WHERE t.receipt_id = "
                         "r.receipt_id AND t.receipt_version = r.version) UNION ALL SELECT "
                         "task_key FROM tasks WHERE receipt_id NOT IN (SELECT receipt_id FROM "
                         "receipts);"),
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
    constexpr int killCount = 60;
    constexpr int perRound = 12;  // few enough for a whole burst to wait in the pipe
    ScratchDirectory scratch;
    const auto home = scratch / "home", database = home / "tasks.sqlite";
    const auto seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    Versions sent, answered;
    int receiptCount = 0, requestID = 0, unanswered = 0;
    for (int round = 0; round < killCount; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // New receipts mixed with newer versions of earlier ones, answered or not.
        std::string burst;
        std::map<int, std::pair<std::string, std::int64_t>> pending;
        for (int index = 0; index < perRound; ++index) {
            auto chosen = sent.begin();
            const bool fresh = sent.empty() || random() % 2 == 0;
            if (!fresh) std::advance(chosen, random() % sent.size());
            const std::string receiptID =
                fresh ? "rc-crash-" + std::to_string(receiptCount++) : chosen->first;
            pending[requestID] = {receiptID, ++sent[receiptID]};
            burst += submission(requestID++, receiptAt(receiptID, sent[receiptID]));
        }
        // The kill lands after a random number of answers and a random pause: during start-up
        // and recovery, inside an import, or between two.
        const auto answersBeforeKill = random() % perRound;
        ServerProcess server(home);
        ASSERT_TRUE(server.started());
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
    const auto reply = replies(server.finish());
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0]["result"]["structuredContent"]["result"], "inserted");
    EXPECT_EQ(server.wait(), 0);
    answered["rc-after"] = 1;
    expectConsistent(database, answered);
}

}  // namespace
}  // namespace kestrin::testing
