// The tools in-process (the importer's texts are the core's; here the envelope, isError and the
// rows), and the result tool's loop with the real velmora-cli and kestrin-mcp.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>

#include "MCPTestSupport.h"
#include "core/handback/ResumeSecretError.h"
#include "mcp/WireJSON.h"
#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

constexpr const char *resultTool = "get_intervention_result", *submitTool = "submit_intervention_receipt";

// The server in-process on `home`, a fresh one per request as each agent session starts one.
class ToolsTest : public ::testing::Test {
protected:
    std::string serveText(const std::string& input, bool offered = true) {
        AppPaths::Environment environment{{"KESTRIN_HOME", home.string()}};
        if (offered) environment["KESTRIN_RESULT_TOOL"] = "1";
        return serveInProcess(environment, input);
    }
    json serve(const std::string& input, bool offered = true) {
        const auto answers = outputLines(serveText(input, offered));
        return answers.empty() ? json::object() : json::parse(answers.back());
    }
    // Exactly content (the payload under the wire rules), structuredContent and isError.
    json call(const std::string& tool, const json& arguments) {
        const json result = serve(toolCallLine(1, tool, arguments))["result"];
        EXPECT_EQ(result.size(), 3u) << result;
        const json text = {{"type", "text"}, {"text", *WireJSON::serialize(result["structuredContent"])}};
        EXPECT_EQ(result["content"], json::array({text}));
        return result;
    }
    json submit(const json& receipt) { return call(submitTool, {{"receipt", receipt}}); }
    json withPaths(const char* members) const {
        json object = json::parse(members);
        object["data_path"] = home.string();
        object["database_path"] = (home / "tasks.sqlite").string();
        return object;
    }
    Rows rows(const std::string& sql) { return sqliteRows(home / "tasks.sqlite", sql); }
    // The real velmora-cli on `home`: its standard output, or "<failed>".
    std::string cli(const std::vector<std::string>& arguments) {
        ChildProcess child(VELMORA_CLI_PATH, arguments, environmentWithHome(home));
        std::string output = child.finish();
        return child.wait() == 0 ? output : "<failed>";
    }

    ScratchDirectory scratch;
    std::filesystem::path home = scratch / "home";
};

TEST_F(ToolsTest, SubmissionsAreAnsweredAndStoredInOrder) {
    const json first = validReceipt("rc-release-1", 1, 3);
    json reordered = first;
    reordered.erase("version");
    json critical = validReceipt("rc-warn-1", 1, 2);
    critical["items"][1]["priority"] = "critical";
    json secret = validReceipt("rc-new-1", 1, 1);
    secret["summary"] = "Bearer abcd/efgh/ijkl/mnop/qrst";
    const std::tuple<const char*, json, const char*, const char*> cases[] = {  // nullptr: refused
        {"new receipt", first, "inserted", "3"},
        {"same receipt as pretty-printed text, version moved to the front",
         "{ \"version\" : 1,\n" + reordered.dump(4).substr(1), "duplicate", "3"},
        {"newer version", validReceipt("rc-release-1", 2, 2), "updated", "2"},
        {"older version", first, "stale", "2"},
        {"no items", validReceipt("rc-done-1", 1, 0), "no_action", "2"},
        // The server writes "/" as "\/"; a token with slashes must still be found.
        {"secret", secret, nullptr, "2"},
        {"an array passes conversion and is refused by the importer", json::array(), nullptr, "2"},
        {"warnings travel with a success", critical, "inserted", "4"},
    };
    for (const auto& [name, receipt, outcome, tasks] : cases) {
        SCOPED_TRACE(name);
        const json result = submit(receipt);
        const json& payload = result["structuredContent"];
        EXPECT_EQ(result["isError"], outcome == nullptr) << result;
        if (outcome) {
            EXPECT_EQ(payload["result"], outcome);
            EXPECT_FALSE(payload.value("message", "").empty());
        } else {
            EXPECT_EQ(payload.size(), 1u);
            EXPECT_FALSE(payload.value("error", "").empty()) << payload;
        }
        EXPECT_EQ(rows("SELECT COUNT(*) FROM tasks"), Rows{tasks});
    }
    // The last answer in full; the stored text is the canonical form, slashes escaped.
    json last = submit(validReceipt("rc-later-1", 3, 1))["structuredContent"];
    last.erase("message");
    EXPECT_EQ(last, withPaths(R"({"project":"velmora","receipt_id":"rc-later-1",
        "result":"inserted","task_count":1,"version":3,"warnings":[]})"));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM receipts WHERE raw_json LIKE "
                   "'{\"created_at\"%\"path\":\"\\/Users\\/dev\\/velmora\"%'"),
              Rows{"4"});
}

TEST_F(ToolsTest, BadArgumentsAreToolErrorsWithTheirOwnText) {
    ASSERT_EQ(submit(validReceipt("rc-known", 1, 1))["isError"], false);
    const std::string badReceipt = "receipt 必须是 JSON 对象或完整 JSON 字符串。",
                      badID = "receipt_id 必须是非空字符串。",
                      badWait = "wait_seconds 必须是 0 到 50 之间的整数。";
    const auto waiting = [](const json& seconds) { return json{{"receipt_id", "rc-known"}, {"wait_seconds", seconds}}; };
    // clang-format off
    const std::tuple<const char*, json, std::string> cases[] = {
        {submitTool, json::object(), "缺少 receipt 参数。"},
        {submitTool, "receipt", "缺少 receipt 参数。"},  // arguments that are not an object
        {submitTool, {{"receipt", "not json"}}, badReceipt}, {submitTool, {{"receipt", "{\"a\":1} {"}}, badReceipt},
        {submitTool, {{"receipt", 42}}, badReceipt}, {submitTool, {{"receipt", "42"}}, badReceipt},
        {resultTool, json::object(), "缺少 receipt_id 参数。"},
        {resultTool, {{"receipt_id", 7}}, badID}, {resultTool, {{"receipt_id", ""}}, badID},
        {resultTool, {{"receipt_id", "rc-nope"}}, "找不到回执：rc-nope。"},
        {resultTool, waiting(-1), badWait}, {resultTool, waiting(51), badWait}, {resultTool, waiting(1.5), badWait},
        {resultTool, waiting("3"), badWait}, {resultTool, waiting(18446744073709551615ull), badWait}};
    // clang-format on
    for (const auto& [tool, arguments, error] : cases) {
        SCOPED_TRACE(arguments.dump());
        const json result = call(tool, arguments);
        EXPECT_EQ(result["isError"], true);
        EXPECT_EQ(result["structuredContent"], (json{{"error", error}}));
    }
    EXPECT_EQ(rows("SELECT COUNT(*) FROM receipts"), Rows{"1"});
    // One reply byte for byte: the text content is the payload, escaped once more.
    EXPECT_EQ(serveText(requestLine("tools/call", 5, {{"name", submitTool}})),
              R"({"id":5,"jsonrpc":"2.0","result":{"content":[{"text":"{\"error\":\"缺少 receipt )"
              R"(参数。\"}","type":"text"}],"isError":true,"structuredContent":{"error":"缺少 )"
              R"(receipt 参数。"}}})"
              "\n");
}

TEST_F(ToolsTest, StatusCountsUnfinishedTasksOnlyAndReportsADatabaseFailure) {
    ASSERT_EQ(submit(validReceipt("rc-release-1", 1, 3))["isError"], false);
    ASSERT_EQ(submit(validReceipt("rc-done-1", 1, 0))["isError"], false);
    sqliteExecute(home / "tasks.sqlite",
                  "UPDATE tasks SET status = 'completed' WHERE task_key = 'rc-release-1::item-2';"
                  "UPDATE tasks SET status = 'cancelled' WHERE task_key = 'rc-release-1::item-3';");
    const json result = call("get_kestrin_status", {{"ignored", true}});
    EXPECT_EQ(result["isError"], false);
    EXPECT_EQ(result["structuredContent"], withPaths(R"({"archive_schema_version":"1.0.0",
        "database_schema_version":1, "unfinished_task_count":1})"));
    sqliteExecute(home / "tasks.sqlite", "DROP TABLE step_progress; DROP TABLE tasks;");
    const json failed = call("get_kestrin_status", json::object());
    EXPECT_EQ(failed["isError"], true);
    EXPECT_EQ(failed["structuredContent"].size(), 1u);
    EXPECT_NE(failed["structuredContent"].value("error", "").find("no such table: tasks"),
              std::string::npos);
    // The path goes out as UTF-8 with "/" escaped.
    home = scratch / "h\xFFme";
    const std::string output = serveText(toolCallLine(1, "get_kestrin_status", json::object()));
    std::string escaped;
    for (const char c : (scratch / "h\xEF\xBF\xBDme").string())
        escaped += c == '/' ? "\\/" : std::string(1, c);
    EXPECT_NE(output.find("\"data_path\":\"" + escaped + "\""), std::string::npos) << output;
}

TEST_F(ToolsTest, TheResultToolIsOfferedOnlyWhenAskedForAndTheOtherToolsStayAsTheyAre) {
    const json without = serve(requestLine("tools/list", 1), false)["result"]["tools"];
    const json with = serve(requestLine("tools/list", 1))["result"]["tools"];
    ASSERT_EQ(with.size(), 3u);
    EXPECT_EQ(json({with[0], with[1]}), without);
    EXPECT_EQ(with[2]["name"], resultTool);
    EXPECT_EQ(with[2]["inputSchema"], json::parse(R"({"type": "object", "required": ["receipt_id"],
        "additionalProperties": false, "properties": {
        "receipt_id": {"type": "string", "description": "The receipt_id of the submitted receipt."},
        "wait_seconds": {"type": "integer", "minimum": 0, "maximum": 50, "default": 0, "description":
            "Wait up to this many seconds for a task to be handed back; 0 answers at once."}}})"));
    for (const bool offered : {false, true}) {
        const std::string instructions =
            serve(requestLine("initialize", 1), offered)["result"]["instructions"];
        EXPECT_EQ(instructions.find(resultTool) != std::string::npos, offered);
    }
    // Not offered, not callable.
    EXPECT_EQ(serve(toolCallLine(1, resultTool, {{"receipt_id", "x"}}), false)["error"]["code"],
              -32602);
}

// Nothing reaches the agent before the hand-back; then the message is exactly what velmora-cli
// printed, and one with a secret only as the reason it is held back, even when printed anyway. The
// last hand-back ends the wait of a real kestrin-mcp.
TEST_F(ToolsTest, NothingIsReleasedBeforeTheHandBackAndNoSecretAfterIt) {
    ASSERT_EQ(submit(validReceipt("rc-loop", 1, 3))["isError"], false);
    ASSERT_EQ(cli({"step", "rc-loop::item-1", "step-1"}), "第 1 步，已完成\n");
    ASSERT_EQ(cli({"note", "rc-loop::item-1", "秘密之前的草稿"}), "备注已保存\n");
    const json before = call(resultTool, {{"receipt_id", "rc-loop"}})["structuredContent"];
    EXPECT_EQ(before["all_handed_back"], false);
    EXPECT_EQ(before["version"], 1);
    EXPECT_EQ(before["tasks"][0], json::parse(R"({"task_key":"rc-loop::item-1","item_id":"item-1",
        "title":"Approve the deployment 1","status":"in_progress","steps_done":1,"steps_total":1,
        "completed_step_ids":["step-1"],"handed_back":false})"));
    EXPECT_EQ(before.dump().find("草稿"), std::string::npos);

    const std::string message = cli({"resume", "rc-loop::item-1"});
    ASSERT_NE(message.find("本人记录：秘密之前的草稿"), std::string::npos);
    ASSERT_EQ(cli({"cancel", "rc-loop::item-2"}), "已取消并关闭事项：Approve the deployment 2\n");
    const std::string token = "ghp_" + std::string(36, 'a');
    ASSERT_EQ(cli({"resume", "rc-loop::item-3", "--force", "--notes", token}), "<failed>");
    EXPECT_EQ(call(resultTool, {{"receipt_id", "rc-loop"}})["structuredContent"]["all_handed_back"],
              false);
    ::setenv("KESTRIN_RESULT_TOOL", "1", 1);
    ServerProcess server(home);
    ::unsetenv("KESTRIN_RESULT_TOOL");
    ASSERT_TRUE(server.send(
        toolCallLine(2, resultTool, {{"receipt_id", "rc-loop"}, {"wait_seconds", 50}})));
    ASSERT_NE(cli({"resume", "rc-loop::item-3", "--force", "--allow-secret"}), "<failed>");
    const auto line = server.readLine();
    ASSERT_TRUE(line);
    const json after = json::parse(*line)["result"]["structuredContent"];
    EXPECT_EQ(after, call(resultTool, {{"receipt_id", "rc-loop"}})["structuredContent"]);
    EXPECT_EQ(after["all_handed_back"], true);
    EXPECT_EQ(after["tasks"][0]["resume_message"].get<std::string>() + "\n", message);
    EXPECT_EQ(after["tasks"][1]["status"], "cancelled");
    EXPECT_TRUE(after["tasks"][1].contains("resume_message"));
    const json& secret = after["tasks"][2];
    EXPECT_EQ(secret["handed_back"], true);
    EXPECT_FALSE(secret.contains("resume_message"));
    EXPECT_EQ(secret["resume_message_held_back"], ResumeSecretError{}.heldBackDescription());
    EXPECT_EQ(after.dump().find(token), std::string::npos);
    server.closeInput();
    EXPECT_EQ(server.wait(), 0);
    // A note that cannot be read is the database's failure, never a message without it.
    sqliteExecute(home / "tasks.sqlite", "DROP TABLE task_notes; CREATE TABLE task_notes (x);");
    const json unread = call(resultTool, {{"receipt_id", "rc-loop"}});
    EXPECT_EQ(unread["isError"], true);
    EXPECT_NE(unread.dump().find("no such column"), std::string::npos) << unread;
}

// Another writer holding the write lock for the whole wait does not keep the call from ending.
TEST_F(ToolsTest, AWaitEndsWhileAnotherWriterHoldsTheDatabase) {
    ASSERT_EQ(submit(validReceipt("rc-locked", 1, 1))["isError"], false);
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open((home / "tasks.sqlite").c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; UPDATE tasks SET status = 'completed';",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const json reply = call(resultTool, {{"receipt_id", "rc-locked"}, {"wait_seconds", 1}});
    sqlite3_exec(writer, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    EXPECT_EQ(reply["isError"], false);
    EXPECT_EQ(reply["structuredContent"]["tasks"][0]["status"], "pending");
}

}  // namespace
}  // namespace kestrin::testing
