// The two tools end to end in-process: submissions through the importer into a real database, the
// status report, and the argument and refusal paths. The importer's own texts are checked with the
// core; here the envelope, isError and what reached the database.

#include <gtest/gtest.h>

#include "MCPTestSupport.h"
#include "mcp/MCPInputError.h"
#include "mcp/WireJSON.h"
#include "support/Readback.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

// The tool result of one call: exactly content, structuredContent and isError, the text content
// being the payload written by the channel's rules.
json call(InProcessServer& server, const std::string& tool, const json& arguments) {
    const auto answers = replies(server.serve(toolCallLine(1, tool, arguments)));
    EXPECT_EQ(server.diagnostics(), "");
    EXPECT_EQ(answers.size(), 1u);
    if (answers.size() != 1) return json::object();
    const json& result = answers[0]["result"];
    EXPECT_EQ(result.size(), 3u) << result;
    EXPECT_EQ(result["content"],
              json::array({{{"type", "text"},
                            {"text", *WireJSON::serialize(result["structuredContent"])}}}));
    return result;
}

json submit(InProcessServer& server, const json& receipt) {
    return call(server, "submit_intervention_receipt", {{"receipt", receipt}});
}

json with(json receipt, const std::string& member, const json& value) {
    receipt[member] = value;
    return receipt;
}

TEST(ServerTools, SubmissionsAreAnsweredAndStoredInOrder) {
    const json first = validReceipt("rc-release-1", 1, 3);
    json reordered = first;
    reordered.erase("version");
    json critical = validReceipt("rc-warn-1", 1, 2);
    critical["items"][1]["priority"] = "critical";
    // "result" or, for a refusal, nullptr; the stored task count afterwards.
    const std::tuple<const char*, json, const char*, const char*> cases[] = {
        {"new receipt", first, "inserted", "3"},
        {"same receipt as pretty-printed text, version moved to the front",
         "{ \"version\" : 1,\n" + reordered.dump(4).substr(1), "duplicate", "3"},
        {"newer version", validReceipt("rc-release-1", 2, 2), "updated", "2"},
        {"older version", first, "stale", "2"},
        {"no items", validReceipt("rc-done-1", 1, 0), "no_action", "2"},
        {"version zero", validReceipt("rc-new-1", 0, 1), nullptr, "2"},
        // The server writes "/" as "\/"; a token with slashes must still be found.
        {"secret",
         with(validReceipt("rc-new-1", 1, 1), "summary", "Bearer abcd/efgh/ijkl/mnop/qrst"),
         nullptr, "2"},
        {"changed content, same version",
         with(validReceipt("rc-release-1", 2, 2), "summary", "Other."), nullptr, "2"},
        {"an array passes conversion and is refused by the importer", json::array(), nullptr, "2"},
        {"an array as text", "[]", nullptr, "2"},
        {"warnings travel with a success", critical, "inserted", "4"},
    };
    ScratchDirectory scratch;
    InProcessServer server(scratch / "home");
    for (const auto& [name, receipt, outcome, tasks] : cases) {
        SCOPED_TRACE(name);
        const json result = submit(server, receipt);
        const json& payload = result["structuredContent"];
        EXPECT_EQ(result["isError"], outcome == nullptr) << result;
        if (outcome) {
            EXPECT_EQ(payload["result"], outcome);
            EXPECT_FALSE(payload.value("message", "").empty());
        } else {
            EXPECT_EQ(payload.size(), 1u);
            EXPECT_FALSE(payload.value("error", "").empty()) << payload;
        }
        EXPECT_EQ(sqliteRows(server.paths().database(), "SELECT COUNT(*) FROM tasks"), Rows{tasks});
    }
    // The last answer in full; the stored text is the canonical form, slashes escaped.
    json last = submit(server, validReceipt("rc-later-1", 3, 1))["structuredContent"];
    last.erase("message");
    EXPECT_EQ(last, (json{{"data_path", (scratch / "home").string()},
                          {"database_path", (scratch / "home" / "tasks.sqlite").string()},
                          {"project", "velmora"},
                          {"receipt_id", "rc-later-1"},
                          {"result", "inserted"},
                          {"task_count", 1},
                          {"version", 3},
                          {"warnings", json::array()}}));
    EXPECT_EQ(sqliteRows(server.paths().database(),
                         "SELECT COUNT(*) FROM receipts WHERE raw_json LIKE "
                         "'{\"created_at\"%\"path\":\"\\/Users\\/dev\\/velmora\"%'"),
              Rows{"4"});
}

TEST(ServerTools, BadReceiptArgumentsAreToolErrorsWithTheirOwnText) {
    using Kind = MCPInputError::Kind;
    const std::string missing = "缺少 receipt 参数。";
    EXPECT_EQ(MCPInputError{Kind::missingReceipt}.description(), missing);
    EXPECT_EQ(MCPInputError{Kind::invalidReceipt}.description(),
              "receipt 必须是 JSON 对象或完整 JSON 字符串。");
    const std::pair<json, Kind> cases[] = {
        {json::object(), Kind::missingReceipt},
        {"receipt", Kind::missingReceipt},  // arguments that are not an object
        {{{"receipt", "not json"}}, Kind::invalidReceipt},
        {{{"receipt", "{\"a\":1} {"}}, Kind::invalidReceipt},
        {{{"receipt", 42}}, Kind::invalidReceipt},
        {{{"receipt", "42"}}, Kind::invalidReceipt},
    };
    ScratchDirectory scratch;
    InProcessServer server(scratch.path());
    for (const auto& [arguments, kind] : cases) {
        SCOPED_TRACE(arguments.dump());
        const json result = call(server, "submit_intervention_receipt", arguments);
        EXPECT_EQ(result["isError"], true);
        EXPECT_EQ(result["structuredContent"],
                  (json{{"error", MCPInputError{kind}.description()}}));
    }
    EXPECT_EQ(sqliteRows(server.paths().database(), "SELECT COUNT(*) FROM receipts"), Rows{"0"});
    // One reply byte for byte: the text content is the payload, escaped once more.
    EXPECT_EQ(server.serve(requestLine("tools/call", 5, {{"name", "submit_intervention_receipt"}})),
              R"({"id":5,"jsonrpc":"2.0","result":{"content":[{"text":"{\"error\":\")" + missing +
                  R"(\"}","type":"text"}],"isError":true,"structuredContent":{"error":")" +
                  missing + "\"}}}\n");
}

TEST(ServerTools, StatusCountsUnfinishedTasksOnlyAndReportsADatabaseFailure) {
    ScratchDirectory scratch;
    InProcessServer server(scratch / "home");
    ASSERT_EQ(submit(server, validReceipt("rc-release-1", 1, 3))["isError"], false);
    ASSERT_EQ(submit(server, validReceipt("rc-done-1", 1, 0))["isError"], false);
    const auto database = server.paths().database();
    sqliteExecute(database,
                  "UPDATE tasks SET status = 'completed' WHERE task_key = 'rc-release-1::item-2';"
                  "UPDATE tasks SET status = 'cancelled' WHERE task_key = 'rc-release-1::item-3';");
    const json result = call(server, "get_kestrin_status", {{"ignored", true}});
    EXPECT_EQ(result["isError"], false);
    EXPECT_EQ(result["structuredContent"], (json{{"archive_schema_version", "1.0.0"},
                                                 {"data_path", (scratch / "home").string()},
                                                 {"database_path", database.string()},
                                                 {"database_schema_version", 1},
                                                 {"unfinished_task_count", 1}}));
    sqliteExecute(database, "DROP TABLE step_progress; DROP TABLE tasks;");
    const json failed = call(server, "get_kestrin_status", json::object());
    EXPECT_EQ(failed["isError"], true);
    EXPECT_EQ(failed["structuredContent"].size(), 1u);
    EXPECT_NE(failed["structuredContent"].value("error", "").find("no such table: tasks"),
              std::string::npos);
}

TEST(ServerTools, TheDataPathIsReportedTrimmedEscapedAndAsUTF8) {
    ScratchDirectory scratch;
    const AppPaths::Environment unset{{"KESTRIN_HOME", ""}, {"HOME", scratch.path().string()}};
    const auto standard = AppPaths::userDataLocation(unset) / "VelmoraKestrin";
    ASSERT_EQ(standard.string().rfind(scratch.path().string(), 0), 0u) << standard;
    const std::tuple<const char*, AppPaths::Environment, std::filesystem::path> cases[] = {
        {"trailing slash", {{"KESTRIN_HOME", (scratch / "home").string() + "/"}}, scratch / "home"},
        {"empty KESTRIN_HOME counts as unset", unset, standard},
        {"not UTF-8",
         {{"KESTRIN_HOME", (scratch / "h\xFFme").string()}},
         scratch / "h\xEF\xBF\xBDme"},
    };
    for (const auto& [name, environment, expected] : cases) {
        SCOPED_TRACE(name);
        InProcessServer server(environment);
        const std::string output =
            server.serve(toolCallLine(1, "get_kestrin_status", json::object()));
        EXPECT_EQ(server.status(), 0);
        EXPECT_EQ(server.diagnostics(), "");
        EXPECT_EQ(replies(output).at(0)["result"]["structuredContent"]["data_path"],
                  expected.string());
        std::string escaped;
        for (const char c : expected.string()) escaped += c == '/' ? "\\/" : std::string(1, c);
        EXPECT_NE(output.find("\"data_path\":\"" + escaped + "\""), std::string::npos) << output;
    }
    EXPECT_TRUE(std::filesystem::exists(standard / "tasks.sqlite"));
}

}  // namespace
}  // namespace kestrin::testing
