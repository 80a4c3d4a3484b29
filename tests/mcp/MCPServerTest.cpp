// The JSON-RPC loop in-process: input lines and the exact bytes that come back.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <sstream>
#include <thread>

#include "MCPTestSupport.h"
#include "core/intake/ReceiptImporter.h"
#include "core/receipt/ParseJSON.h"
#include "mcp/FileDescriptorStreamBuffer.h"
#include "mcp/MCPServer.h"
#include "support/ScratchDirectory.h"

namespace kestrin::testing {
namespace {

using namespace std::string_literals;

std::string error(int code, const std::string& message, const std::string& id) {
    return R"({"error":{"code":)" + std::to_string(code) + R"(,"message":")" + message +
           R"("},"id":)" + id + R"(,"jsonrpc":"2.0"})";
}
std::string invalid(const std::string& id) { return error(-32600, "Invalid Request", id); }
std::string pong(const std::string& id) { return R"({"id":)" + id + R"(,"jsonrpc":"2.0","result":{}})"; }
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
std::string initialize(int id, const json& params) { return requestLine("initialize", id, params); }

TEST(MCPServer, EachInputGetsItsExactReply) {
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
             "\n" + R"({"jsonrpc":2,"id":2,"method":"ping"})" + "\n" + R"({"method":"ping"})" +
             "\n" + R"({"jsonrpc":"2.0","id":3})" + "\n" +
             R"({"jsonrpc":"2.0","id":4,"method":7})" + "\n" +
             R"({"jsonrpc":"2.0","method":null})" + "\n",
         {invalid("1"), invalid("\"a\""), invalid("2"), invalid("null"), invalid("3"), invalid("4"),
          invalid("null")}},
        {"ids come back unchanged, extra members ignored",
         ping(R"("req/1 ü")") + ping("null") +
             ping(R"({"z":1,"a":[true]})", R"(,"params":[1],"extra":true)"),
         {pong(R"("req\/1 ü")"), pong("null"), pong(R"({"a":[true],"z":1})")}},
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
             initialize(2, {{"protocolVersion", newest}}) +
             initialize(3, {{"protocolVersion", "2024-10-07"}}) + requestLine("initialize", 4) +
             initialize(5, "2024-11-05") + initialize(6, {{"protocolVersion", 20241105}}),
         {handshake("1", "2024-11-05"), handshake("2", newest), handshake("3", newest),
          handshake("4", newest), handshake("5", newest), handshake("6", newest)}},
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
             "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"pi\xC0\xAFng\"}\n\xFE\xFF\x00\x01garbage\n"s +
             ping("2"),
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

// Replies in request order, each one write of one line; one that cannot be encoded goes to
// standard error only.
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

// The server on its own thread, its input and (given `nonBlocking`, also its output, left
// non-blocking as a client may) on pipes; `feed` writes to its input, then its output is returned.
std::string serveOverPipes(bool nonBlocking, const std::function<void(int, std::thread&)>& feed) {
    ScratchDirectory scratch;
    std::signal(SIGPIPE, SIG_IGN);
    int toServer[2], fromServer[2];
    EXPECT_EQ(::pipe(toServer), 0);
    EXPECT_EQ(::pipe(fromServer), 0);
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

// "Try again" is neither the end of the input nor a failed reply: a line cut before its last byte
// (the next read starts with that byte), a pause, the rest; a reply far larger than the pipe.
TEST(MCPServer, NonBlockingDescriptorsAreWaitedOn) {
    const std::string first = requestLine("ping", 1), bigID(1 << 20, 'i');
    std::thread writer;
    const std::string output = serveOverPipes(true, [&](int toServer, std::thread&) {
        const auto cut = static_cast<ssize_t>(first.size() - 2);
        EXPECT_EQ(::write(toServer, first.data(), cut), cut);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        writer = std::thread([&, toServer] {
            const std::string rest = first.substr(first.size() - 2) + requestLine("ping", bigID);
            for (std::size_t sent = 0; sent < rest.size();) {
                const ssize_t count = ::write(toServer, rest.data() + sent, rest.size() - sent);
                if (count <= 0) break;
                sent += static_cast<std::size_t>(count);
            }
            ::close(toServer);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    writer.join();
    EXPECT_EQ(outputLines(output), (Rows{pong("1"), pong("\"" + bigID + "\"")}));
}

// A signal whose handler does not restart system calls interrupts a blocked read: no end of input.
TEST(MCPServer, AnInterruptedReadIsReadAgain) {
    struct sigaction quiet {}, previous {};
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

}  // namespace
}  // namespace kestrin::testing
