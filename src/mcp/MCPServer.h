#pragma once

#include <istream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "mcp/ServerTools.h"

namespace kestrin {

// The MCP server's JSON-RPC 2.0 loop over a line-oriented channel: one JSON
// object per input line, one reply per output line. It keeps no state between
// lines: initialize is answered whenever it comes (and need not come first),
// and the server never sends anything but replies. Single-threaded; each line
// is handled completely and answered before the next is read, so replies
// leave in request order.
class MCPServer {
public:
    // `supportedProtocolVersions` lists the versions offered, preferred first.
    // `output` receives protocol messages only; `diagnostics` receives the one
    // line written when a reply cannot be encoded. All must outlive the server.
    MCPServer(ServerTools& tools, std::vector<std::string> supportedProtocolVersions,
              std::istream& input, std::ostream& output, std::ostream& diagnostics);

    // Reads and answers lines until the input ends. Also returns once the
    // output has failed (the client closed its end): no later reply could
    // arrive, so no later request is acted on.
    void run();

    // Writes `message` as one line (WireJSON::serialize plus a line feed) in a
    // single write, flushed at once. When it cannot be encoded, writes
    // "kestrin-mcp 无法编码响应：" and the reason to `diagnostics` instead.
    void writeJSON(const nlohmann::json& message);

    // Writes the error reply {"error": {"code", "message"}} for request `id`.
    void send(int code, std::string_view message, const nlohmann::json& id);

    // Writes the reply for request `id` whose result is an MCP tool result:
    // "content" holding the payload as JSON text, "structuredContent" holding
    // the payload itself, and "isError".
    void sendToolResult(const nlohmann::json& payload, bool isError, const nlohmann::json& id);

private:
    void handleLine(std::string_view line);
    void dispatch(const std::string& method, const nlohmann::json& message,
                  const nlohmann::json& id);
    void sendResult(nlohmann::json result, const nlohmann::json& id);
    nlohmann::json handshake(const nlohmann::json* params) const;
    void callTool(const nlohmann::json* params, const nlohmann::json& id);

    ServerTools& tools_;
    const std::vector<std::string> supportedProtocolVersions_;
    std::istream& input_;
    std::ostream& output_;
    std::ostream& diagnostics_;
};

}  // namespace kestrin
