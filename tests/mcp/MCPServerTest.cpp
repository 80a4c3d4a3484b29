// The server in-process: JSON-RPC, the tools' envelopes and rows, the result tool's loop.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <thread>

#include "MCPTestSupport.h"
#include "cli/CLIFixture.h"
#include "core/handback/ResumeSecretError.h"
#include "core/intake/ReceiptImporter.h"
#include "core/receipt/ParseJSON.h"
#include "mcp/FileDescriptorStreamBuffer.h"
#include "mcp/MCPServer.h"
#include "mcp/WireJSON.h"

namespace kestrin::testing {
namespace {

using namespace std::string_literals;

std::string error(int code, const std::string& message, const std::string& id) {
    return R"({"error":{"code":)" + std::to_string(code) + R"(,"message":")" + message +
           R"("},"id":)" + id + R"(,"jsonrpc":"2.0"})";
}
std::string ping(const std::string& id, const std::string& extra = "") {
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":"ping")" + extra + "}\n";
}
std::string handshake(const std::string& id, const std::string& version) {
    return R"({"id":)" + id +
           R"(,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":false}},)"
           R"("instructions":"Use submit_intervention_receipt when a task finishes or pauses )"
           R"(and the user must take concrete action. Never include passwords, tokens, )"
           R"(verification codes, private keys, or API keys.","protocolVersion":")" +
           version + R"(","serverInfo":{"name":"velmora-kestrin","version":"0.3.3"}}})";
}
std::string initialize(int id, const json& params) {
    return requestLine("initialize", id, params);
}

TEST(MCPServer, EachInputGetsItsExactReply) {
    const auto invalid = [](const char* id) { return error(-32600, "Invalid Request", id); };
    const std::string fffd = "\xEF\xBF\xBD", newest = "2025-06-18";
    const std::string unended = ping("1").substr(0, ping("1").size() - 1);
    const std::size_t idDepth = maxJSONDepth - 1;  // the message object is one level
    const std::string deepID = std::string(idDepth, '[') + std::string(idDepth, ']');
    const std::string missingName = R"(tools\/call requires params.name)";
    const std::tuple<const char*, std::string, std::vector<std::string>> cases[] = {
        {"blank lines get no reply", "\n   \t \n\r\n\xC2\xA0\xE3\x80\x80\n\n", {}},
        {"not a JSON object",
         "[]\n[" + unended + "]\n42\n\"ping\"\nnull\n" + ping("1").substr(0, 30) + "\n" +
             ping("1", "} trailing") + "\xA0{}\n",
         std::vector<std::string>(8, parseError)},
        {"structurally invalid, even as a notification",
         R"({"id":1,"method":"ping"})"s + "\n" + R"({"jsonrpc":"1.0","id":"a","method":"ping"})" +
             "\n" + R"({"jsonrpc":"2.0","id":3})" + "\n" + R"({"jsonrpc":"2.0","method":null})" +
             "\n",
         {invalid("1"), invalid("\"a\""), invalid("3"), invalid("null")}},
        {"ids come back unchanged, extra members ignored",
         ping(R"("req/1 ü")") + ping("null") +
             ping(R"({"z":1,"a":[true]})", R"(,"params":[1],"extra":true)"),
         {pong(R"("req\/1 ü")"), pong("null"), pong(R"({"a":[true],"z":1})")}},
        {"notifications never get a reply",
         requestLine("ping") + requestLine("notifications/initialized") +
             requestLine("notifications/initialized", 1) +
             requestLine("notifications/cancelled", 2, json{{"requestId", 1}}) +
             requestLine("tools/call", absent,
                         json{{"name", "submit_intervention_receipt"}, {"arguments", {}}}),
         {}},
        {"initialize takes a supported version, else the newest",
         initialize(1, {{"protocolVersion", "2024-11-05"}}) +
             initialize(3, {{"protocolVersion", "2024-10-07"}}) + requestLine("initialize", 4) +
             initialize(5, "2024-11-05") + initialize(6, {{"protocolVersion", 20241105}}),
         {handshake("1", "2024-11-05"), handshake("3", newest), handshake("4", newest),
          handshake("5", newest), handshake("6", newest)}},
        {"unknown method", requestLine("PING", 1), {error(-32601, "Method not found", "1")}},
        {"tools/call without a name",
         requestLine("tools/call", 1) + requestLine("tools/call", 3, json{{"name", 3}}),
         {error(-32602, missingName, "1"), error(-32602, missingName, "3")}},
        {"unknown tools are named",
         toolCallLine(2, "delete/all", {}),
         {error(-32602, R"(Unknown tool: delete\/all)", "2")}},
        {"carriage return and a last line without line feed",
         unended + "\r\n" + ping("2").substr(0, ping("2").size() - 1),
         {pong("1"), pong("2")}},
        // One U+FFFD per maximal ill-formed subsequence: a stray byte, a truncated sequence (one),
        // an overlong form and a surrogate (one per byte).
        {"invalid UTF-8 is replaced before parsing",
         ping("\"a\xFF\"") + ping("\"\xE2\x82z\"") + ping("\"\xF0\x9F\x98\"") +
             ping("\"\xC0\xAF\"") + ping("\"\xED\xA0\x80\"") +
             "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"pi\xC0\xAFng\"}\n"s +
             "\xFE\xFF\x00\x01garbage\n"s + ping("2"),
         {pong("\"a" + fffd + "\""), pong("\"" + fffd + "z\""), pong("\"" + fffd + "\""),
          pong("\"" + fffd + fffd + "\""), pong("\"" + fffd + fffd + fffd + "\""),
          error(-32601, "Method not found", "1"), parseError, pong("2")}},
        {"nesting up to the limit",
         ping(deepID) + ping("[" + deepID + "]"),
         {pong(deepID), parseError}},
    };
    for (const auto& [name, input, expected] : cases) {
        SCOPED_TRACE(name);
        ScratchDirectory scratch;
        EXPECT_EQ(outputLines(serveInProcess({{"KESTRIN_HOME", scratch.path().string()}}, input)),
                  expected);
    }
}

// One write per reply line, in request order; an unencodable reply goes to stderr only.
TEST(MCPServer, ToolsListAndRepliesInOrderEachOneWriteOfOneLine) {
    struct CountingBuffer : std::stringbuf {
        std::vector<std::string> writes;
        std::streamsize xsputn(const char* data, std::streamsize count) override {
            writes.emplace_back(data, static_cast<std::size_t>(count));
            return count;
        }
        int_type overflow(int_type character) override {
            writes.emplace_back(1, traits_type::to_char_type(character));
            return character;
        }
    } buffer;
    std::ostream output(&buffer);
    std::string text = requestLine("tools/list", 2);
    for (int id = 1; id <= 200; ++id) {
        text += id % 3 == 0 ? toolCallLine(id, "get_kestrin_status", json::object())
                            : requestLine(id % 2 ? "ping" : "nope", id);
        text += requestLine("notifications/cancelled") + (id == 100 ? "[]\n" : "");
    }
    std::istringstream input(text);
    ScratchDirectory scratch;
    auto store = SQLiteTaskStore::open(scratch / "tasks.sqlite").value();
    ReceiptImporter importer(*store);
    ServerTools tools(AppPaths(scratch.path()), *store, importer);
    std::ostringstream diagnostics;
    MCPServer server(tools, {"2025-06-18"}, input, output, diagnostics);
    server.run();
    server.sendToolResult(json{{"error", "bad \xFF byte"}}, true, json(1));
    const auto& lines = buffer.writes;
    ASSERT_EQ(lines.size(), 202u);
    for (const auto& write : lines) EXPECT_EQ(write.find('\n'), write.size() - 1) << write;
    EXPECT_EQ(
        lines[0],
        R"({"id":2,"jsonrpc":"2.0","result":{"tools":[)"
        R"({"description":"Validate and save a detailed human-intervention receipt in Velmora. )"
        R"(Prefer this over writing an inbox file or returning raw JSON.",)"
        R"("inputSchema":{"additionalProperties":false,"properties":{"receipt":{)"
        R"("description":"A receipt object following the intervention receipt schema, or the )"
        R"(complete receipt as a JSON string.","oneOf":[{"type":"object"},{"type":"string"}]}},)"
        R"("required":["receipt"],"type":"object"},"name":"submit_intervention_receipt",)"
        R"("title":"Submit intervention receipt"},)"
        R"({"description":"Return the local data path and current count of unfinished )"
        R"(intervention tasks.","inputSchema":{"additionalProperties":false,"properties":{},)"
        R"("type":"object"},"name":"get_kestrin_status","title":"Get Velmora status"}]}})"
        "\n");
    for (int id = 1; id <= 200; ++id) EXPECT_EQ(json::parse(lines[id + (id > 100)])["id"], id);
    EXPECT_EQ(lines[101], parseError + "\n");
    const std::string errors = diagnostics.str();
    EXPECT_EQ(errors.rfind("kestrin-mcp 无法编码响应：JSON 无法写出：", 0), 0u) << errors;
    EXPECT_NE(errors.find("invalid UTF-8"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
}

// The server on a thread behind pipes (optionally non-blocking); `feed` writes its input.
std::string serveOverPipes(bool nonBlocking, const std::function<void(int, std::thread&)>& feed) {
    ScratchDirectory scratch;
    std::signal(SIGPIPE, SIG_IGN);
    int toServer[2], fromServer[2];
    EXPECT_TRUE(::pipe(toServer) == 0 && ::pipe(fromServer) == 0);
    for (const int descriptor : {toServer[0], fromServer[1]})
        if (nonBlocking) ::fcntl(descriptor, F_SETFL, O_NONBLOCK);
    std::ostringstream diagnostics;
    std::thread server([&] {
        FileDescriptorStreamBuffer inputBuffer(toServer[0]), outputBuffer(fromServer[1]);
        std::istream input(&inputBuffer);
        std::ostream output(&outputBuffer);
        const AppPaths::Environment environment{{"KESTRIN_HOME", scratch.path().string()}};
        EXPECT_EQ(KestrinMCPMain::main(environment, input, output, diagnostics), 0);
        ::close(fromServer[1]);
        ::close(toServer[0]);
    });
    feed(toServer[1], server);
    std::string output;
    char chunk[65536];
    for (ssize_t count; (count = ::read(fromServer[0], chunk, sizeof chunk)) > 0;)
        output.append(chunk, static_cast<std::size_t>(count));
    server.join();
    ::close(fromServer[0]);
    EXPECT_EQ(diagnostics.str(), "");
    return output;
}

// EAGAIN is neither end of input nor a failed reply: a line cut before its last byte, a huge reply.
TEST(MCPServer, NonBlockingDescriptorsAreWaitedOn) {
    const std::string first = requestLine("ping", 1), bigID(1 << 20, 'i');
    std::thread writer;
    const std::string output = serveOverPipes(true, [&](int toServer, std::thread&) {
        const auto cut = static_cast<ssize_t>(first.size() - 2);
        EXPECT_EQ(::write(toServer, first.data(), cut), cut);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        writer = std::thread([&, toServer] {  // blocks until the server has read it all
            const std::string rest = first.substr(first.size() - 2) + requestLine("ping", bigID);
            EXPECT_EQ(::write(toServer, rest.data(), rest.size()),
                      static_cast<ssize_t>(rest.size()));
            ::close(toServer);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    writer.join();
    EXPECT_EQ(outputLines(output), (Rows{pong("1"), pong("\"" + bigID + "\"")}));
}

// A signal whose handler does not restart system calls interrupts a blocked read: no end of input.
TEST(MCPServer, AnInterruptedReadIsReadAgain) {
    struct sigaction quiet {
    }, previous{};
    quiet.sa_handler = [](int) {};
    ASSERT_EQ(::sigaction(SIGUSR1, &quiet, &previous), 0);
    const std::string output = serveOverPipes(false, [](int toServer, std::thread& server) {
        for (int signal = 0; signal < 60; ++signal) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ::pthread_kill(server.native_handle(), SIGUSR1);
        }
        const std::string ping = requestLine("ping", 1);
        EXPECT_EQ(::write(toServer, ping.data(), ping.size()), static_cast<ssize_t>(ping.size()));
        ::close(toServer);
    });
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(outputLines(output), Rows{pong("1")});
}

constexpr const char *resultTool = "get_intervention_result",
                     *submitTool = "submit_intervention_receipt";

// The server in-process on `home`, a fresh one per request as each agent session starts one.
class ToolsTest : public CLIFixture {
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
        const json text = {{"type", "text"},
                           {"text", *WireJSON::serialize(result["structuredContent"])}};
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
};

TEST_F(ToolsTest, SubmissionsAreAnsweredAndStoredInOrder) {
    const json first = validReceipt("rc-release-1", 1, 3);
    json reordered = first;
    reordered.erase("version");
    json critical = validReceipt("rc-warn-1", 1, 2);
    critical["items"][1]["priority"] = "critical";
    json secret = validReceipt("rc-new-1", 1, 1);
    secret["summary"] = "Bearer abcd/efgh/ijkl/mnop/qrst";
    const std::tuple<const char*, json, const char*, const char*> cases[] = {
        // nullptr: refused
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
    EXPECT_EQ(last, withPaths(R"({"project":"web","receipt_id":"rc-later-1",
        "result":"inserted","task_count":1,"version":3,"warnings":[]})"));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM receipts WHERE raw_json LIKE "
                   "'{\"created_at\"%\"path\":\"\\/srv\\/web\"%'"),
              Rows{"4"});
}

TEST_F(ToolsTest, BadArgumentsAreToolErrorsWithTheirOwnText) {
    ASSERT_EQ(submit(validReceipt("rc-known", 1, 1))["isError"], false);
    const std::string badReceipt = "receipt 必须是 JSON 对象或完整 JSON 字符串。",
                      badID = "receipt_id 必须是非空字符串。",
                      badWait = "wait_seconds 必须是 0 到 50 之间的整数。";
    const auto waiting = [](const json& seconds) {
        return json{{"receipt_id", "rc-known"}, {"wait_seconds", seconds}};
    };
    // clang-format off
    const std::tuple<const char*, json, std::string> cases[] = {
        {submitTool, json::object(), "缺少 receipt 参数。"},
        {submitTool, "receipt", "缺少 receipt 参数。"},  // arguments that are not an object
        {submitTool, {{"receipt", "not json"}}, badReceipt},
        {submitTool, {{"receipt", "{\"a\":1} {"}}, badReceipt},
        {submitTool, {{"receipt", 42}}, badReceipt}, {submitTool, {{"receipt", "42"}}, badReceipt},
        {resultTool, json::object(), "缺少 receipt_id 参数。"},
        {resultTool, {{"receipt_id", 7}}, badID}, {resultTool, {{"receipt_id", ""}}, badID},
        {resultTool, {{"receipt_id", "rc-nope"}}, "找不到回执：rc-nope。"},
        {resultTool, waiting(-1), badWait}, {resultTool, waiting(51), badWait},
        {resultTool, waiting(1.5), badWait}, {resultTool, waiting("3"), badWait},
        {resultTool, waiting(18446744073709551615ull), badWait}};
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
    exec("UPDATE tasks SET status = 'completed' WHERE task_key LIKE '%-2'");
    exec("UPDATE tasks SET status = 'cancelled' WHERE task_key LIKE '%-3'");
    const json result = call("get_kestrin_status", {{"ignored", true}});
    EXPECT_EQ(result["isError"], false);
    EXPECT_EQ(result["structuredContent"], withPaths(R"({"archive_schema_version":"1.0.0",
        "database_schema_version":1, "unfinished_task_count":1})"));
    exec("DROP TABLE step_progress; DROP TABLE tasks;");
    const json failed = call("get_kestrin_status", json::object());
    EXPECT_EQ(failed["isError"], true);
    EXPECT_EQ(failed["structuredContent"].size(), 1u);
    EXPECT_NE(failed["structuredContent"].value("error", "").find("no such table: tasks"),
              std::string::npos);
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
        "wait_seconds": {"type": "integer", "minimum": 0, "maximum": 50, "default": 0,
        "description": "Wait up to this many seconds for a task to be handed back; 0 answers at )"
                                                  R"(once."}}})"));
    for (const bool offered : {false, true}) {
        const std::string instructions =
            serve(requestLine("initialize", 1), offered)["result"]["instructions"];
        EXPECT_EQ(instructions.find(resultTool) != std::string::npos, offered);
    }
    // Not offered, not callable.
    EXPECT_EQ(serve(toolCallLine(1, resultTool, {{"receipt_id", "x"}}), false)["error"]["code"],
              -32602);
}

// Nothing before the hand-back; then velmora-cli's message, a secret only as why it is held back.
TEST_F(ToolsTest, NothingIsReleasedBeforeTheHandBackAndNoSecretAfterIt) {
    ASSERT_EQ(submit(validReceipt("rc-loop", 1, 3))["isError"], false);
    ASSERT_EQ(run({"step", "rc-loop::item-1", "login"}).output, "第 1 步，已完成\n");
    ASSERT_EQ(run({"note", "rc-loop::item-1", "秘密之前的草稿"}).output, "备注已保存\n");
    const json before = call(resultTool, {{"receipt_id", "rc-loop"}})["structuredContent"];
    EXPECT_EQ(before["all_handed_back"], false);
    EXPECT_EQ(before["version"], 1);
    EXPECT_EQ(before["tasks"][0], json::parse(R"({"task_key":"rc-loop::item-1","item_id":"item-1",
        "title":"Approve the deployment 1","status":"in_progress","steps_done":1,"steps_total":1,
        "completed_step_ids":["login"],"handed_back":false})"));
    EXPECT_EQ(before.dump().find("草稿"), std::string::npos);

    const std::string message = run({"resume", "rc-loop::item-1"}).output;
    ASSERT_NE(message.find("本人记录：秘密之前的草稿"), std::string::npos);
    ASSERT_EQ(run({"cancel", "rc-loop::item-2"}).output,
              "已取消并关闭事项：Approve the deployment 2\n");
    const std::string token = "ghp_" + std::string(36, 'a');
    ::setenv("KESTRIN_RESULT_TOOL", "1", 1);
    ServerProcess server(home);
    ::unsetenv("KESTRIN_RESULT_TOOL");
    ASSERT_TRUE(server.send(
        toolCallLine(2, resultTool, {{"receipt_id", "rc-loop"}, {"wait_seconds", 50}})));
    ASSERT_EQ(run({"resume", "rc-loop::item-3", "--force", "--allow-secret", "--notes", token})
                  .exitStatus,
              0);
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
    exec("DROP TABLE task_notes; CREATE TABLE task_notes (x);");
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
