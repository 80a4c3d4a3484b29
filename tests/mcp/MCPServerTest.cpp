// The JSON-RPC loop as a client sees it: input lines and the exact bytes that
// come back, run in-process over string streams.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "InProcessServer.h"
#include "MCPTestSupport.h"
#include "core/intake/ReceiptImporter.h"
#include "core/receipt/ParseJSON.h"
#include "mcp/MCPServer.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

using nlohmann::json;
using namespace std::string_literals;

const std::string parseError =
    R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";

std::string error(int code, const std::string& message, const std::string& id) {
    return R"({"error":{"code":)" + std::to_string(code) + R"(,"message":")" + message +
           R"("},"id":)" + id + R"(,"jsonrpc":"2.0"})";
}
std::string pong(const std::string& id) {
    return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})";
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

struct Case {
    const char* name;
    std::string input;
    std::vector<std::string> expected;
};

TEST(MCPServer, EachInputGetsItsExactReply) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::size_t idDepth = maxJSONDepth - 1;  // the message object is one level
    const std::string deepID = std::string(idDepth, '[') + std::string(idDepth, ']');
    const Case cases[] = {
        {"blank lines get no reply", "\n   \t \n\r\n\xC2\xA0\xE3\x80\x80\n\n", {}},
        {"not a JSON object",
         "[]\n[" + ping("1").substr(0, ping("1").size() - 1) + "]\n42\n\"ping\"\nnull\n" +
             ping("1").substr(0, 30) + "\n" + ping("1", "} trailing") + "\xA0{}\n",
         std::vector<std::string>(8, parseError)},
        {"structurally invalid, even as a notification",
         R"({"id":1,"method":"ping"})"
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
         "\n",
         {error(-32600, "Invalid Request", "1"), error(-32600, "Invalid Request", "\"a\""),
          error(-32600, "Invalid Request", "2"), error(-32600, "Invalid Request", "null"),
          error(-32600, "Invalid Request", "3"), error(-32600, "Invalid Request", "4"),
          error(-32600, "Invalid Request", "null")}},
        {"ids come back unchanged, extra members ignored",
         ping("0") + ping(R"("req/1 ü")") + ping("null") + ping("-12") +
             ping(R"({"z":1,"a":[true]})", R"(,"params":[1],"extra":true)"),
         {pong("0"), pong(R"("req\/1 ü")"), pong("null"), pong("-12"),
          pong(R"({"a":[true],"z":1})")}},
        {"notifications never get a reply",
         requestLine("ping") + requestLine("notifications/initialized") +
             requestLine("notifications/initialized", 1) +
             requestLine("notifications/cancelled", 2, json{{"requestId", 1}}) +
             requestLine("tools/list") + requestLine("no/such/method") +
             requestLine("tools/call", absent,
                         json{{"name", "submit_intervention_receipt"}, {"arguments", {}}}),
         {}},
        {"initialize takes a supported version, else the newest",
         initialize(1, {{"protocolVersion", "2024-11-05"}}) +
             initialize(2, {{"protocolVersion", "2025-06-18"}}) +
             initialize(3, {{"protocolVersion", "2024-10-07"}}) + requestLine("initialize", 4) +
             initialize(5, "2024-11-05") + initialize(6, {{"protocolVersion", 20241105}}),
         {handshake("1", "2024-11-05"), handshake("2", "2025-06-18"), handshake("3", "2025-06-18"),
          handshake("4", "2025-06-18"), handshake("5", "2025-06-18"),
          handshake("6", "2025-06-18")}},
        {"unknown methods",
         requestLine("resources/list", 1) + requestLine("PING", 2),
         {error(-32601, "Method not found", "1"), error(-32601, "Method not found", "2")}},
        {"tools/call without a name",
         requestLine("tools/call", 1) + requestLine("tools/call", 2, "get_kestrin_status") +
             requestLine("tools/call", 3, json{{"name", 3}}),
         {error(-32602, R"(tools\/call requires params.name)", "1"),
          error(-32602, R"(tools\/call requires params.name)", "2"),
          error(-32602, R"(tools\/call requires params.name)", "3")}},
        {"unknown tools are named",
         toolCallLine(1, "GET_KESTRIN_STATUS", {}) + toolCallLine(2, "delete/all", {}),
         {error(-32602, "Unknown tool: GET_KESTRIN_STATUS", "1"),
          error(-32602, R"(Unknown tool: delete\/all)", "2")}},
        {"carriage return and a last line without line feed",
         ping("1").substr(0, ping("1").size() - 1) + "\r\n" +
             ping("2").substr(0, ping("2").size() - 1),
         {pong("1"), pong("2")}},
        // One U+FFFD per maximal ill-formed subsequence: a stray byte, a truncated
        // sequence (one), an overlong form and a surrogate (one per byte).
        {"invalid UTF-8 is replaced before parsing",
         ping("\"a\xFF\"") + ping("\"\xE2\x82z\"") + ping("\"\xF0\x9F\x98\"") +
             ping("\"\xC0\xAF\"") + ping("\"\xED\xA0\x80\"") +
             "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"pi\xC0\xAFng\"}\n\xFE\xFF\x00\x01garbage\n"s +
             ping("2"),
         {pong("\"a" + fffd + "\""), pong("\"" + fffd + "z\""), pong("\"" + fffd + "\""),
          pong("\"" + fffd + fffd + "\""), pong("\"" + fffd + fffd + fffd + "\""),
          error(-32601, "Method not found", "1"), parseError, pong("2")}},
        {"nesting up to the limit",
         ping(deepID) + ping("[" + deepID + "]"),
         {pong(deepID), parseError}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ScratchDirectory scratch;
        InProcessServer server(scratch.path());
        EXPECT_EQ(outputLines(server.serve(test.input)), test.expected);
        EXPECT_EQ(server.status(), 0);
        EXPECT_EQ(server.diagnostics(), "");
    }
}

TEST(MCPServer, ToolsListGivesBothDefinitionsWordForWord) {
    ScratchDirectory scratch;
    EXPECT_EQ(
        InProcessServer(scratch.path()).serve(requestLine("tools/list", 2)),
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
}

TEST(MCPServer, RepliesLeaveInRequestOrder) {
    // A client sends its whole opening at once, without waiting for replies.
    std::string input = initialize(0, {{"protocolVersion", "2025-06-18"}}) +
                        requestLine("notifications/initialized") +
                        requestLine("tools/list", "list");
    for (int id = 1; id <= 200; ++id) {
        input += id % 3 == 0 ? toolCallLine(id, "get_kestrin_status", json::object())
                             : requestLine(id % 2 ? "ping" : "nope", id);
        input += requestLine("notifications/cancelled");
    }
    ScratchDirectory scratch;
    const auto answers = replies(InProcessServer(scratch.path()).serve(input));
    ASSERT_EQ(answers.size(), 202u);
    EXPECT_EQ(answers[1]["id"], "list");
    for (int id = 0; id <= 200; ++id) EXPECT_EQ(answers[id ? id + 1u : 0u]["id"], id);
}

// A server over the given streams, on a database of its own.
struct DirectServer {
    DirectServer(std::istream& input, std::ostream& output)
        : store(SQLiteTaskStore::open(scratch / "tasks.sqlite").value()),
          importer(*store),
          tools(AppPaths(scratch.path()), *store, importer),
          server(tools, {"2025-06-18"}, input, output, diagnostics) {}
    ScratchDirectory scratch;
    std::unique_ptr<SQLiteTaskStore> store;
    ReceiptImporter importer;
    ServerTools tools;
    std::ostringstream diagnostics;
    MCPServer server;
};

TEST(MCPServer, EachReplyIsOneWriteOfOneLine) {
    // Counts the writes reaching the stream buffer, so a client never sees half a message.
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
    std::istringstream input(requestLine("tools/list", 1) + requestLine("ping", 2) + "[]\n");
    DirectServer(input, output).server.run();
    ASSERT_EQ(buffer.writes.size(), 3u);
    for (const auto& write : buffer.writes) EXPECT_EQ(write.find('\n'), write.size() - 1) << write;
}

TEST(MCPServer, AnUnencodableReplyGoesToStandardErrorOnly) {
    std::istringstream input;
    std::ostringstream output;
    DirectServer direct(input, output);
    direct.server.sendToolResult(json{{"error", "bad \xFF byte"}}, true, json(1));
    direct.server.writeJSON(json{{"ok", "fine"}});
    EXPECT_EQ(output.str(), "{\"ok\":\"fine\"}\n");
    const std::string text = direct.diagnostics.str();
    EXPECT_EQ(text.rfind("kestrin-mcp 无法编码响应：JSON 无法写出：", 0), 0u) << text;
    EXPECT_NE(text.find("invalid UTF-8"), std::string::npos) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

}  // namespace
}  // namespace kestrin::testing
