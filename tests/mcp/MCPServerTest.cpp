// The JSON-RPC loop as a client sees it: every input line and the exact
// bytes that come back, run in-process over string streams.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "InProcessServer.h"
#include "MCPTestSupport.h"
#include "support/ScratchDirectory.h"
#include "core/receipt/ParseJSON.h"
#include "core/intake/ReceiptImporter.h"
#include "mcp/MCPServer.h"

namespace kestrin::testing {
namespace {

using nlohmann::json;
using namespace std::string_literals;

const std::string parseError =
    R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";

std::string invalidRequest(const std::string& id) {
    return R"({"error":{"code":-32600,"message":"Invalid Request"},"id":)" + id +
           R"(,"jsonrpc":"2.0"})";
}

class MCPServerTest : public ::testing::Test {
protected:
    // Serves `input` and returns the reply lines; the run must end cleanly
    // with nothing on standard error.
    std::vector<std::string> exchange(const std::string& input) {
        const std::string output = server.serve(input);
        EXPECT_EQ(server.status(), 0);
        EXPECT_EQ(server.diagnostics(), "");
        return outputLines(output);
    }

    ScratchDirectory scratch;
    InProcessServer server{scratch / "home"};
};

TEST_F(MCPServerTest, BlankLinesGetNoReply) {
    EXPECT_TRUE(exchange("\n   \t \n\r\n\xC2\xA0\xE3\x80\x80\n\n").empty());
    EXPECT_TRUE(exchange("").empty());
}

TEST_F(MCPServerTest, TextThatIsNotAJSONObjectIsAParseErrorWithNullId) {
    const auto lines = exchange(
        "[]\n"
        "[{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}]\n"
        "42\n"
        "\"ping\"\n"
        "null\n"
        "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"\n"
        "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"} trailing\n"
        "\xA0{}\n");
    ASSERT_EQ(lines.size(), 8u);
    for (const auto& line : lines) EXPECT_EQ(line, parseError);
}

TEST_F(MCPServerTest, StructurallyInvalidMessagesAreRefusedEvenAsNotifications) {
    const auto lines = exchange(R"({"id":1,"method":"ping"})"
                                "\n"
                                R"({"jsonrpc":"1.0","id":"a","method":"ping"})"
                                "\n"
                                R"({"jsonrpc":2,"id":2,"method":"ping"})"
                                "\n"
                                R"({"method":"ping"})"
                                "\n"
                                R"({"jsonrpc":"2.0","id":3})"
                                "\n"
                                R"({"jsonrpc":"2.0","id":4,"method":7})"
                                "\n"
                                R"({"jsonrpc":"2.0","method":null})"
                                "\n");
    const std::vector<std::string> expected = {
        invalidRequest("1"), invalidRequest("\"a\""), invalidRequest("2"),   invalidRequest("null"),
        invalidRequest("3"), invalidRequest("4"),     invalidRequest("null")};
    EXPECT_EQ(lines, expected);
}

TEST_F(MCPServerTest, PingAnswersRequestsAndIgnoresNotifications) {
    const auto lines =
        exchange(requestLine("ping", json(7)) + requestLine("ping") +
                 R"({"jsonrpc":"2.0","id":8,"method":"ping","params":[1],"extra":true})"
                 "\n");
    const std::vector<std::string> expected = {R"({"id":7,"jsonrpc":"2.0","result":{}})",
                                               R"({"id":8,"jsonrpc":"2.0","result":{}})"};
    EXPECT_EQ(lines, expected);
}

TEST_F(MCPServerTest, IdsComeBackUnchanged) {
    const auto lines = exchange(R"({"jsonrpc":"2.0","id":0,"method":"ping"})"
                                "\n"
                                R"({"jsonrpc":"2.0","id":"req/1 ü","method":"ping"})"
                                "\n"
                                R"({"jsonrpc":"2.0","id":null,"method":"ping"})"
                                "\n"
                                R"({"jsonrpc":"2.0","id":-12,"method":"ping"})"
                                "\n"
                                R"({"jsonrpc":"2.0","id":{"z":1,"a":[true]},"method":"ping"})"
                                "\n");
    const std::vector<std::string> expected = {
        R"({"id":0,"jsonrpc":"2.0","result":{}})",
        R"({"id":"req\/1 ü","jsonrpc":"2.0","result":{}})",
        R"({"id":null,"jsonrpc":"2.0","result":{}})",
        R"({"id":-12,"jsonrpc":"2.0","result":{}})",
        R"({"id":{"a":[true],"z":1},"jsonrpc":"2.0","result":{}})",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(MCPServerTest, InitializeAnswersWithASupportedVersion) {
    const auto handshake = [](const std::string& id, const std::string& version) {
        return R"({"id":)" + id +
               R"(,"jsonrpc":"2.0","result":{"capabilities":{"tools":{"listChanged":false}},)"
               R"("instructions":"Use submit_intervention_receipt when a task finishes or pauses )"
               R"(and the user must take concrete action. Never include passwords, tokens, )"
               R"(verification codes, private keys, or API keys.","protocolVersion":")" +
               version + R"(","serverInfo":{"name":"velmora-kestrin","version":"0.3.3"}}})";
    };
    const auto lines =
        exchange(requestLine("initialize", json(1), json{{"protocolVersion", "2024-11-05"}}) +
                 requestLine("initialize", json(2), json{{"protocolVersion", "2025-06-18"}}) +
                 requestLine("initialize", json(3), json{{"protocolVersion", "2024-10-07"}}) +
                 requestLine("initialize", json(4), json{{"protocolVersion", "2026-01-01"}}) +
                 requestLine("initialize", json(5)) +
                 requestLine("initialize", json(6), json("2024-11-05")) +
                 requestLine("initialize", json(7), json{{"protocolVersion", 20241105}}) +
                 requestLine("initialize", nullptr, nullptr));
    const std::vector<std::string> expected = {
        handshake("1", "2024-11-05"), handshake("2", "2025-06-18"), handshake("3", "2025-06-18"),
        handshake("4", "2025-06-18"), handshake("5", "2025-06-18"), handshake("6", "2025-06-18"),
        handshake("7", "2025-06-18")};
    EXPECT_EQ(lines, expected);
}

TEST_F(MCPServerTest, NotificationMethodsNeverGetAReply) {
    EXPECT_TRUE(exchange(requestLine("notifications/initialized") +
                         requestLine("notifications/initialized", json(1)) +
                         requestLine("notifications/cancelled", json(2), json{{"requestId", 1}}) +
                         requestLine("tools/list") + requestLine("no/such/method"))
                    .empty());
}

TEST_F(MCPServerTest, UnknownMethodsAreNotFound) {
    const auto lines =
        exchange(requestLine("resources/list", json(1)) + requestLine("prompts/list", json(2)) +
                 requestLine("PING", json(3)));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              R"({"error":{"code":-32601,"message":"Method not found"},"id":1,"jsonrpc":"2.0"})");
    EXPECT_EQ(lines[2],
              R"({"error":{"code":-32601,"message":"Method not found"},"id":3,"jsonrpc":"2.0"})");
}

TEST_F(MCPServerTest, ToolsCallWithoutANameIsInvalidParams) {
    const auto lines =
        exchange(requestLine("tools/call", json(1)) +
                 requestLine("tools/call", json(2), json("get_kestrin_status")) +
                 requestLine("tools/call", json(3), json{{"name", 3}}) +
                 requestLine("tools/call", json(4), json{{"arguments", json::object()}}));
    ASSERT_EQ(lines.size(), 4u);
    for (int id = 1; id <= 4; ++id) {
        EXPECT_EQ(lines[id - 1],
                  R"({"error":{"code":-32602,"message":"tools\/call requires params.name"},"id":)" +
                      std::to_string(id) + R"(,"jsonrpc":"2.0"})");
    }
}

TEST_F(MCPServerTest, UnknownToolIsAnErrorReplyNamingIt) {
    const auto lines = exchange(toolCallLine(json(1), "GET_KESTRIN_STATUS", json::object()) +
                                toolCallLine(json(2), "delete/all", json::object()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(
        lines[0],
        R"({"error":{"code":-32602,"message":"Unknown tool: GET_KESTRIN_STATUS"},"id":1,"jsonrpc":"2.0"})");
    EXPECT_EQ(
        lines[1],
        R"({"error":{"code":-32602,"message":"Unknown tool: delete\/all"},"id":2,"jsonrpc":"2.0"})");
}

TEST_F(MCPServerTest, ToolsListGivesBothDefinitionsWordForWord) {
    const auto lines = exchange(requestLine("tools/list", json(2)));
    ASSERT_EQ(lines.size(), 1u);
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
        R"("type":"object"},"name":"get_kestrin_status","title":"Get Velmora status"}]}})");
}

TEST_F(MCPServerTest, RepliesLeaveInRequestOrder) {
    // A client sends its whole opening at once, without waiting for replies.
    std::string input =
        requestLine("initialize", json(0), json{{"protocolVersion", "2025-06-18"}}) +
        requestLine("notifications/initialized") + requestLine("tools/list", json("list"));
    for (int id = 1; id <= 200; ++id) {
        input += id % 3 == 0 ? toolCallLine(json(id), "get_kestrin_status", json::object())
                             : requestLine(id % 2 ? "ping" : "nope", json(id));
        input += requestLine("notifications/cancelled");
    }
    const auto answers = replies(server.serve(input));
    ASSERT_EQ(answers.size(), 202u);
    EXPECT_EQ(answers[0]["id"], 0);
    EXPECT_EQ(answers[1]["id"], "list");
    for (int id = 1; id <= 200; ++id)
        EXPECT_EQ(answers[static_cast<std::size_t>(id) + 1]["id"], id);
}

TEST_F(MCPServerTest, LastLineWithoutLineFeedAndCarriageReturnsAreHandled) {
    const auto lines = exchange(
        "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}\r\n"
        "{\"jsonrpc\":\"2.0\",\"id\":2,\"method\":\"ping\"}");
    const std::vector<std::string> expected = {R"({"id":1,"jsonrpc":"2.0","result":{}})",
                                               R"({"id":2,"jsonrpc":"2.0","result":{}})"};
    EXPECT_EQ(lines, expected);
}

TEST_F(MCPServerTest, InvalidUTF8IsReplacedBeforeParsing) {
    const auto pingWithId = [](const std::string& id) {
        return "{\"jsonrpc\":\"2.0\",\"id\":\"" + id + "\",\"method\":\"ping\"}\n";
    };
    const auto pingReply = [](const std::string& id) {
        return "{\"id\":\"" + id + "\",\"jsonrpc\":\"2.0\",\"result\":{}}";
    };
    const std::string fffd = "\xEF\xBF\xBD";
    // One U+FFFD per maximal ill-formed subsequence: a stray byte, a truncated
    // sequence (one), an overlong form and a surrogate (one per byte).
    const auto lines =
        exchange(pingWithId("a\xFF") + pingWithId("\xE2\x82z") + pingWithId("\xF0\x9F\x98") +
                 pingWithId("\xC0\xAF") + pingWithId("\xED\xA0\x80") +
                 "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"pi\xC0\xAFng\"}\n"
                 "\xFE\xFF\x00\x01garbage\n"s +
                 requestLine("ping", json(2)));
    const std::vector<std::string> expected = {
        pingReply("a" + fffd),
        pingReply(fffd + "z"),
        pingReply(fffd),
        pingReply(fffd + fffd),
        pingReply(fffd + fffd + fffd),
        R"({"error":{"code":-32601,"message":"Method not found"},"id":1,"jsonrpc":"2.0"})",
        parseError,
        R"({"id":2,"jsonrpc":"2.0","result":{}})"};
    EXPECT_EQ(lines, expected);
}

TEST_F(MCPServerTest, NestingUpToTheLimitIsServed) {
    // The message object itself is one level, so the id may use the rest.
    const std::size_t idDepth = maxJSONDepth - 1;
    const std::string id = std::string(idDepth, '[') + std::string(idDepth, ']');
    const auto lines = exchange(R"({"jsonrpc":"2.0","method":"ping","id":)" + id + "}\n" +
                                R"({"jsonrpc":"2.0","method":"ping","id":[)" + id + "]}\n");
    const std::vector<std::string> expected = {
        R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})", parseError};
    EXPECT_EQ(lines, expected);
}

TEST_F(MCPServerTest, EachReplyIsOneWriteOfOneLine) {
    // Counts the writes reaching the stream buffer: one per message, ending in
    // its line feed, so a client never sees half a message.
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
    std::istringstream input(requestLine("tools/list", json(1)) + requestLine("ping", json(2)) +
                             "[]\n");
    std::ostringstream diagnostics;

    auto store = SQLiteTaskStore::open(scratch / "tasks.sqlite");
    ASSERT_TRUE(store);
    const ReceiptImporter importer(**store);
    ServerTools tools(AppPaths(scratch.path()), **store, importer);
    MCPServer(tools, {"2025-06-18", "2024-11-05"}, input, output, diagnostics).run();

    ASSERT_EQ(buffer.writes.size(), 3u);
    for (const auto& write : buffer.writes) {
        EXPECT_EQ(write.find('\n'), write.size() - 1) << write;
    }
}

TEST_F(MCPServerTest, AnUnencodableReplyGoesToStandardErrorOnly) {
    std::istringstream input;
    std::ostringstream output;
    std::ostringstream diagnostics;
    auto store = SQLiteTaskStore::open(scratch / "tasks.sqlite");
    ASSERT_TRUE(store);
    const ReceiptImporter importer(**store);
    ServerTools tools(AppPaths(scratch.path()), **store, importer);
    MCPServer direct(tools, {"2025-06-18"}, input, output, diagnostics);

    direct.sendToolResult(json{{"error", "bad \xFF byte"}}, true, json(1));
    direct.writeJSON(json{{"ok", "fine"}});

    EXPECT_EQ(output.str(), "{\"ok\":\"fine\"}\n");
    const std::string text = diagnostics.str();
    EXPECT_EQ(text.rfind("kestrin-mcp 无法编码响应：JSON 无法写出：", 0), 0u) << text;
    EXPECT_NE(text.find("invalid UTF-8"), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

}  // namespace
}  // namespace kestrin::testing
