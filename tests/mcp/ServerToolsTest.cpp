// The two tools end to end in-process: submissions through the importer into
// a real database, the status report, and every argument and refusal path.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "InProcessServer.h"
#include "MCPTestSupport.h"
#include "support/ScratchDirectory.h"
#include "mcp/MCPInputError.h"
#include "mcp/ServerTools.h"
#include "mcp/WireJSON.h"

namespace kestrin::testing {
namespace {

using nlohmann::json;

class ServerToolsTest : public ::testing::Test {
protected:
    // Calls `tool` with `arguments` and returns the tool result, checking the
    // envelope: exactly content, structuredContent and isError, with the text
    // content being the payload written by the channel's rules.
    json call(const std::string& tool, const json& arguments) {
        const std::string output = server.serve(toolCallLine(json(1), tool, arguments));
        EXPECT_EQ(server.diagnostics(), "");
        const auto answers = replies(output);
        EXPECT_EQ(answers.size(), 1u);
        if (answers.size() != 1) return json::object();
        const json& result = answers[0]["result"];
        EXPECT_EQ(result.size(), 3u) << result;
        EXPECT_EQ(result["content"].size(), 1u);
        EXPECT_EQ(result["content"][0]["type"], "text");
        EXPECT_EQ(result["content"][0]["text"], *WireJSON::serialize(result["structuredContent"]));
        return result;
    }

    json submit(const json& receipt) {
        return call("submit_intervention_receipt", {{"receipt", receipt}});
    }

    // The error text of a failed call.
    std::string refusal(const json& result) {
        EXPECT_EQ(result["isError"], true) << result;
        EXPECT_EQ(result["structuredContent"].size(), 1u) << result;
        return result["structuredContent"].value("error", "");
    }

    std::int64_t count(const std::string& sql) {
        return queryInteger(server.paths().database(), sql);
    }

    ScratchDirectory scratch;
    InProcessServer server{scratch / "home"};
};

TEST_F(ServerToolsTest, ASubmittedReceiptIsStoredAndReported) {
    const json result = submit(validReceipt("rc-release-1", 1, 3));
    EXPECT_EQ(result["isError"], false);
    const json expected = {{"data_path", (scratch / "home").string()},
                           {"database_path", (scratch / "home" / "tasks.sqlite").string()},
                           {"message", "已导入 3 个人工介入事项。"},
                           {"project", "velmora"},
                           {"receipt_id", "rc-release-1"},
                           {"result", "inserted"},
                           {"task_count", 3},
                           {"version", 1},
                           {"warnings", json::array()}};
    EXPECT_EQ(result["structuredContent"], expected);
    EXPECT_EQ(count("SELECT COUNT(*) FROM tasks WHERE receipt_id = 'rc-release-1'"), 3);
}

TEST_F(ServerToolsTest, TheSameReceiptAsTextInAnotherLayoutIsADuplicate) {
    const json receipt = validReceipt("rc-release-1", 1, 1);
    EXPECT_EQ(submit(receipt)["structuredContent"]["result"], "inserted");

    // Pretty-printed, with "version" moved to the front.
    json rest = receipt;
    rest.erase("version");
    const std::string text = "{ \"version\" : 1,\n" + rest.dump(4).substr(1);
    const json again = submit(text);
    EXPECT_EQ(again["isError"], false);
    EXPECT_EQ(again["structuredContent"]["result"], "duplicate");
    EXPECT_EQ(again["structuredContent"]["message"], "这张回执已经导入，没有创建重复事项。");

    // What is stored is the canonical form, slashes escaped.
    EXPECT_EQ(count("SELECT COUNT(*) FROM receipts WHERE instr(raw_json, "
                    "'\"path\":\"\\/Users\\/dev\\/velmora\"') > 0 AND substr(raw_json, 1, 13) = "
                    "'{\"created_at\"'"),
              1);
}

TEST_F(ServerToolsTest, VersionsMoveForwardOnly) {
    ASSERT_EQ(submit(validReceipt("rc-release-1", 1, 3))["structuredContent"]["result"],
              "inserted");
    const json updated = submit(validReceipt("rc-release-1", 2, 2))["structuredContent"];
    EXPECT_EQ(updated["result"], "updated");
    EXPECT_EQ(updated["message"], "已从 v1 更新到 v2，当前有 2 个事项。");
    EXPECT_EQ(updated["task_count"], 2);

    const json stale = submit(validReceipt("rc-release-1", 1, 3));
    EXPECT_EQ(stale["isError"], false);
    EXPECT_EQ(stale["structuredContent"]["result"], "stale");
    EXPECT_EQ(stale["structuredContent"]["message"], "已忽略旧版本；本地已有 v2。");
    EXPECT_EQ(count("SELECT COUNT(*) FROM tasks"), 2);
}

TEST_F(ServerToolsTest, AReceiptWithoutItemsGoesToHistoryOnly) {
    const json payload = submit(validReceipt("rc-done-1", 1, 0))["structuredContent"];
    EXPECT_EQ(payload["result"], "no_action");
    EXPECT_EQ(payload["task_count"], 0);
    EXPECT_EQ(payload["message"], "回执已进入历史记录；当前没有人工介入事项。");
    EXPECT_EQ(count("SELECT COUNT(*) FROM receipts"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM tasks"), 0);
}

TEST_F(ServerToolsTest, WarningsTravelWithASuccessfulSubmission) {
    json receipt = validReceipt("rc-release-1", 1, 2);
    receipt["items"][1]["priority"] = "critical";
    const json payload = submit(receipt)["structuredContent"];
    EXPECT_EQ(payload["result"], "inserted");
    const json expected = json::array({{{"code", "critical_without_risk"},
                                        {"message", "立即处理事项建议明确风险说明。"},
                                        {"path", "items[1].risk"}}});
    EXPECT_EQ(payload["warnings"], expected);
}

TEST_F(ServerToolsTest, MissingAndMalformedArgumentsAreToolErrors) {
    const std::string missing = "缺少 receipt 参数。";
    const std::string invalid = "receipt 必须是 JSON 对象或完整 JSON 字符串。";
    EXPECT_EQ(refusal(call("submit_intervention_receipt", json::object())), missing);
    EXPECT_EQ(refusal(call("submit_intervention_receipt", json("receipt"))), missing);
    EXPECT_EQ(
        refusal(call("submit_intervention_receipt", {{"Receipt", validReceipt("rc-x-1", 1, 1)}})),
        missing);
    for (const json& argument : {json("not json"), json(42), json(nullptr), json(true), json("42"),
                                 json("\"text\""), json("{\"a\":1} {")}) {
        EXPECT_EQ(refusal(submit(argument)), invalid) << argument;
    }
    EXPECT_EQ(count("SELECT COUNT(*) FROM receipts"), 0);

    // The whole reply, byte for byte.
    EXPECT_EQ(
        server.serve(
            requestLine("tools/call", json(5), json{{"name", "submit_intervention_receipt"}})),
        "{\"id\":5,\"jsonrpc\":\"2.0\",\"result\":{\"content\":[{\"text\":\"{\\\"error\\\":\\\"" +
            missing +
            "\\\"}\",\"type\":\"text\"}],\"isError\":true,\"structuredContent\":"
            "{\"error\":\"" +
            missing + "\"}}}\n");
}

TEST_F(ServerToolsTest, AnArrayPassesConversionAndIsRefusedByTheImporter) {
    for (const json& argument : {json::array(), json("[]")}) {
        const std::string text = refusal(submit(argument));
        EXPECT_EQ(text.rfind("回执 JSON 无法解析：", 0), 0u) << text;
    }
}

TEST_F(ServerToolsTest, RefusedReceiptsCarryTheImporterTextAndStoreNothing) {
    json zeroVersion = validReceipt("rc-release-1", 0, 1);
    EXPECT_EQ(refusal(submit(zeroVersion)), "回执缺少可执行信息：version：version 必须从 1 开始。");

    // The server writes "/" as "\/"; a token with slashes must still be found.
    json bearer = validReceipt("rc-release-1", 1, 1);
    bearer["summary"] = "Call it with Bearer abcd/efgh/ijkl/mnop/qrst when ready.";
    EXPECT_EQ(refusal(submit(bearer)), "回执包含疑似秘密，已阻止导入：第 1 行 bearer_token。");
    EXPECT_EQ(count("SELECT COUNT(*) FROM receipts"), 0);

    ASSERT_EQ(submit(validReceipt("rc-release-1", 1, 1))["isError"], false);
    json changed = validReceipt("rc-release-1", 1, 1);
    changed["summary"] = "Something else entirely.";
    EXPECT_EQ(refusal(submit(changed)),
              "同一 receipt_id 和 version 的内容不一致（rc-release-1 v1）；请让 Agent 增加 version "
              "后重试。");
}

TEST_F(ServerToolsTest, AToolsCallNotificationRunsNoTool) {
    const json params = {{"name", "submit_intervention_receipt"},
                         {"arguments", {{"receipt", validReceipt("rc-release-1", 1, 1)}}}};
    EXPECT_EQ(server.serve(requestLine("tools/call", nullptr, &params)), "");
    EXPECT_EQ(count("SELECT COUNT(*) FROM receipts"), 0);
}

TEST_F(ServerToolsTest, StatusCountsUnfinishedTasksOnly) {
    ASSERT_EQ(submit(validReceipt("rc-release-1", 1, 3))["isError"], false);
    ASSERT_EQ(submit(validReceipt("rc-done-1", 1, 0))["isError"], false);
    {
        auto store = SQLiteTaskStore::open(server.paths().database());
        ASSERT_TRUE(store);
        ASSERT_TRUE(
            (*store)->setStatus("rc-release-1::item-2", TaskStatus::completed, std::nullopt));
        ASSERT_TRUE(
            (*store)->setStatus("rc-release-1::item-3", TaskStatus::cancelled, std::nullopt));
    }
    const json result = call("get_kestrin_status", {{"ignored", true}});
    EXPECT_EQ(result["isError"], false);
    const json expected = {{"archive_schema_version", "1.0.0"},
                           {"data_path", (scratch / "home").string()},
                           {"database_path", (scratch / "home" / "tasks.sqlite").string()},
                           {"database_schema_version", 1},
                           {"unfinished_task_count", 1}};
    EXPECT_EQ(result["structuredContent"], expected);
}

TEST_F(ServerToolsTest, StatusReportsADatabaseFailureAsAToolError) {
    server.serve("");
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(server.paths().database().c_str(), &connection), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(connection, "DROP TABLE step_progress; DROP TABLE tasks;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(connection);

    EXPECT_EQ(refusal(call("get_kestrin_status", json::object())),
              "任务数据库操作失败：no such table: tasks");
}

TEST_F(ServerToolsTest, PathsAreReportedWithoutTrailingSlashAndEscaped) {
    InProcessServer slashed(scratch.path().string() + "/home/");
    const std::string output =
        slashed.serve(toolCallLine(json(1), "get_kestrin_status", json::object()));
    const json payload = replies(output).at(0)["result"]["structuredContent"];
    EXPECT_EQ(payload["data_path"], (scratch / "home").string());

    std::string escaped;
    for (const char c : (scratch / "home").string()) {
        if (c == '/') escaped += '\\';
        escaped += c;
    }
    EXPECT_NE(output.find("\"data_path\":\"" + escaped + "\""), std::string::npos) << output;
}

TEST_F(ServerToolsTest, WithoutKestrinHomeTheDefaultDirectoryIsUsed) {
    // An empty KESTRIN_HOME counts as unset.
    const AppPaths::Environment environment{{"KESTRIN_HOME", ""},
                                            {"HOME", scratch.path().string()}};
    InProcessServer standard(environment);
    const std::string output =
        standard.serve(toolCallLine(json(1), "get_kestrin_status", json::object()));
    EXPECT_EQ(standard.status(), 0);
    const json payload = replies(output).at(0)["result"]["structuredContent"];
    const auto expected = AppPaths::userDataLocation(environment) / "VelmoraKestrin";
    ASSERT_EQ(expected.string().rfind(scratch.path().string(), 0), 0u) << expected;
    EXPECT_EQ(payload["data_path"], expected.string());
    EXPECT_TRUE(std::filesystem::exists(expected / "tasks.sqlite"));
}

TEST_F(ServerToolsTest, APathThatIsNotUTF8IsStillReported) {
    InProcessServer odd(scratch /
                        "h\xFF"
                        "me");
    const std::string output =
        odd.serve(toolCallLine(json(1), "get_kestrin_status", json::object()));
    EXPECT_EQ(odd.diagnostics(), "");
    const json payload = replies(output).at(0)["result"]["structuredContent"];
    EXPECT_EQ(payload["data_path"], (scratch / "h\xEF\xBF\xBDme").string());
}

TEST(ReceiptData, OneCanonicalTextForEveryLayout) {
    const json receipt = validReceipt("rc-release-1", 1, 1);
    const auto fromObject = ServerTools::receiptData(&receipt);
    const json asText = receipt.dump(2);
    const auto fromText = ServerTools::receiptData(&asText);
    ASSERT_TRUE(fromObject);
    ASSERT_TRUE(fromText);
    EXPECT_EQ(*fromObject, *fromText);
    EXPECT_NE(fromObject->find(R"("path":"\/Users\/dev\/velmora")"), std::string::npos);

    const auto missing = ServerTools::receiptData(nullptr);
    ASSERT_FALSE(missing);
    EXPECT_EQ(std::get<MCPInputError>(missing.error()).kind, MCPInputError::Kind::missingReceipt);
}

TEST(MCPInputError, Descriptions) {
    EXPECT_EQ(MCPInputError{MCPInputError::Kind::missingReceipt}.description(),
              "缺少 receipt 参数。");
    EXPECT_EQ(MCPInputError{MCPInputError::Kind::invalidReceipt}.description(),
              "receipt 必须是 JSON 对象或完整 JSON 字符串。");
}

}  // namespace
}  // namespace kestrin::testing
