#include "mcp/MCPServer.h"

#include <algorithm>

#include "core/intake/BuildInfo.h"
#include "core/support/TextTrimming.h"
#include "mcp/LineReader.h"
#include "mcp/Localized.h"
#include "mcp/WireJSON.h"

namespace kestrin {

namespace {

using nlohmann::json;

constexpr int parseErrorCode = -32700;
constexpr int invalidRequestCode = -32600;
constexpr int methodNotFoundCode = -32601;
constexpr int invalidParamsCode = -32602;

constexpr std::string_view serverName = "velmora-kestrin";
constexpr std::string_view instructions =
    "Use submit_intervention_receipt when a task finishes or pauses and the user must take "
    "concrete action. Never include passwords, tokens, verification codes, private keys, or API "
    "keys.";

// The member `name` of `object`, or null when it has none.
const json* member(const json& object, const char* name) {
    const auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

}  // namespace

MCPServer::MCPServer(ServerTools& tools, std::vector<std::string> supportedProtocolVersions,
                     std::istream& input, std::ostream& output, std::ostream& diagnostics)
    : tools_(tools),
      supportedProtocolVersions_(std::move(supportedProtocolVersions)),
      input_(input),
      output_(output),
      diagnostics_(diagnostics) {}

void MCPServer::run() {
    LineReader reader(input_);
    while (const auto line = reader.next()) {
        if (isBlank(*line)) continue;
        handleLine(*line);
        if (!output_) return;
    }
}

void MCPServer::handleLine(std::string_view line) {
    const auto message = WireJSON::parse(line);
    if (!message || !message->is_object()) {
        send(parseErrorCode, "Parse error", nullptr);
        return;
    }
    const json* idMember = member(*message, "id");
    const json id = idMember ? *idMember : json(nullptr);

    // Structural faults are answered even for notifications (with id null).
    const json* version = member(*message, "jsonrpc");
    const json* method = member(*message, "method");
    if (!version || *version != "2.0" || !method || !method->is_string()) {
        send(invalidRequestCode, "Invalid Request", id);
        return;
    }
    // Every notification is ignored; a tools/call without "id" runs no tool.
    if (!idMember) return;
    dispatch(method->get_ref<const std::string&>(), *message, id);
}

void MCPServer::dispatch(const std::string& method, const json& message, const json& id) {
    const json* params = member(message, "params");
    if (method == "initialize") {
        sendResult(handshake(params), id);
    } else if (method == "notifications/initialized" || method == "notifications/cancelled") {
        return;
    } else if (method == "ping") {
        sendResult(json::object(), id);
    } else if (method == "tools/list") {
        sendResult(json{{"tools", ServerTools::toolDefinitions()}}, id);
    } else if (method == "tools/call") {
        callTool(params, id);
    } else {
        send(methodNotFoundCode, "Method not found", id);
    }
}

json MCPServer::handshake(const json* params) const {
    std::string chosen = supportedProtocolVersions_.front();
    const json* requested =
        params && params->is_object() ? member(*params, "protocolVersion") : nullptr;
    if (requested && requested->is_string()) {
        const auto& text = requested->get_ref<const std::string&>();
        if (std::find(supportedProtocolVersions_.begin(), supportedProtocolVersions_.end(), text) !=
            supportedProtocolVersions_.end()) {
            chosen = text;
        }
    }
    return {{"protocolVersion", chosen},
            {"capabilities", {{"tools", {{"listChanged", false}}}}},
            {"serverInfo", {{"name", serverName}, {"version", BuildInfo::productVersion}}},
            {"instructions", instructions}};
}

void MCPServer::callTool(const json* params, const json& id) {
    const json* name = params && params->is_object() ? member(*params, "name") : nullptr;
    if (!name || !name->is_string()) {
        send(invalidParamsCode, "tools/call requires params.name", id);
        return;
    }
    static const json noArguments = json::object();
    const json* arguments = member(*params, "arguments");
    const json& toolArguments = arguments && arguments->is_object() ? *arguments : noArguments;
    const auto& toolName = name->get_ref<const std::string&>();
    if (const auto outcome = tools_.call(toolName, toolArguments)) {
        sendToolResult(outcome->payload, outcome->isError, id);
    } else {
        send(invalidParamsCode, "Unknown tool: " + toolName, id);
    }
}

void MCPServer::sendResult(json result, const json& id) {
    writeJSON({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void MCPServer::send(int code, std::string_view message, const json& id) {
    writeJSON({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

void MCPServer::sendToolResult(const json& payload, bool isError, const json& id) {
    auto text = WireJSON::serialize(payload);
    std::string contentText = text && !text->empty() ? std::move(text).value()
                              : isError              ? "Tool call failed"
                                                     : "Tool call completed";
    json content = json::array({json{{"type", "text"}, {"text", std::move(contentText)}}});
    sendResult(
        {{"content", std::move(content)}, {"structuredContent", payload}, {"isError", isError}},
        id);
}

void MCPServer::writeJSON(const json& message) {
    auto text = WireJSON::serialize(message);
    if (!text) {
        diagnostics_ << "kestrin-mcp 无法编码响应：" << localized(text.error()) << '\n'
                     << std::flush;
        return;
    }
    text->push_back('\n');
    output_.write(text->data(), static_cast<std::streamsize>(text->size()));
    output_.flush();
}

}  // namespace kestrin
