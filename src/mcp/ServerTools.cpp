#include "mcp/ServerTools.h"

#include <cstdint>

#include "core/intake/AgentResultTool.h"
#include "core/archive/KestrinArchive.h"
#include "core/receipt/Timestamp.h"
#include "mcp/Localized.h"
#include "mcp/UTF8Repair.h"
#include "mcp/WireJSON.h"

namespace kestrin {

namespace {

using nlohmann::json;

constexpr std::string_view submitToolName = "submit_intervention_receipt";
constexpr std::string_view statusToolName = "get_kestrin_status";

ServerTools::Outcome failure(const std::string& text) {
    return {json{{"error", text}}, true};
}

// The snake-case name of a store answer. versionConflict never gets here: the
// importer turns it into a refusal.
std::string_view resultName(StoreImportResult::Kind kind) {
    switch (kind) {
        case StoreImportResult::Kind::inserted:
            return "inserted";
        case StoreImportResult::Kind::updated:
            return "updated";
        case StoreImportResult::Kind::stale:
            return "stale";
        case StoreImportResult::Kind::duplicate:
            return "duplicate";
        case StoreImportResult::Kind::noAction:
            return "no_action";
        case StoreImportResult::Kind::versionConflict:
            return "version_conflict";
    }
    return {};
}

// A location as the agent sees it: without a trailing slash (the root "/"
// stays), and with bytes that are not UTF-8 (legal in file names here)
// replaced by U+FFFD, so the reply can always be written.
std::string displayPath(const std::filesystem::path& location) {
    std::string text = location.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return replacingInvalidUTF8(std::move(text));
}

Result<std::string, ServerTools::ReceiptDataError> serialized(const json& value) {
    auto bytes = WireJSON::serialize(value);
    if (!bytes) return fail(ServerTools::ReceiptDataError{bytes.error()});
    return std::move(bytes).value();
}

}  // namespace

ServerTools::ServerTools(AppPaths paths, SQLiteTaskStore& store, const ReceiptImporter& importer,
                         bool offersResultTool)
    : paths_(std::move(paths)),
      store_(store),
      importer_(importer),
      offersResultTool_(offersResultTool),
      resultTool_(store) {}

json ServerTools::toolDefinitions() const {
    const json receiptProperty = {
        {"description",
         "A receipt object following the intervention receipt schema, or the complete receipt as "
         "a JSON string."},
        {"oneOf", json::array({json{{"type", "object"}}, json{{"type", "string"}}})}};
    const json submit = {
        {"name", submitToolName},
        {"title", "Submit intervention receipt"},
        {"description",
         "Validate and save a detailed human-intervention receipt in Velmora. Prefer this over "
         "writing an inbox file or returning raw JSON."},
        {"inputSchema",
         {{"type", "object"},
          {"properties", {{"receipt", receiptProperty}}},
          {"required", json::array({"receipt"})},
          {"additionalProperties", false}}}};
    const json status = {
        {"name", statusToolName},
        {"title", "Get Velmora status"},
        {"description",
         "Return the local data path and current count of unfinished intervention tasks."},
        {"inputSchema",
         {{"type", "object"}, {"properties", json::object()}, {"additionalProperties", false}}}};
    json definitions = json::array({submit, status});
    if (offersResultTool_) definitions.push_back(InterventionResultTool::definition());
    return definitions;
}

std::optional<ServerTools::Outcome> ServerTools::call(std::string_view name,
                                                      const json& arguments) {
    if (name == submitToolName) return submitReceipt(arguments);
    if (name == statusToolName) return status();
    if (offersResultTool_ && name == AgentResultTool::name) {
        auto result = resultTool_.call(arguments);
        if (!result) return failure(localized(result.error()));
        return Outcome{std::move(*result), false};
    }
    return std::nullopt;
}

Result<std::string, ServerTools::ReceiptDataError> ServerTools::receiptData(const json* receipt) {
    if (receipt == nullptr)
        return fail(ReceiptDataError{MCPInputError{MCPInputError::Kind::missingReceipt}});
    const ReceiptDataError invalid{MCPInputError{MCPInputError::Kind::invalidReceipt}};
    if (receipt->is_string()) {
        // The parser's own complaint is dropped: the agent learns only that
        // the text is not a receipt document.
        const auto parsed = WireJSON::parse(receipt->get_ref<const std::string&>());
        if (!parsed) return fail(invalid);
        return serialized(*parsed);
    }
    if (!receipt->is_object() && !receipt->is_array()) return fail(invalid);
    return serialized(*receipt);
}

ServerTools::Outcome ServerTools::submitReceipt(const json& arguments) {
    const auto member = arguments.find("receipt");
    const auto bytes = receiptData(member == arguments.end() ? nullptr : &*member);
    if (!bytes) return failure(localized(bytes.error()));

    const auto outcome = importer_.importData(*bytes);
    if (!outcome) return failure(localized(outcome.error()));

    const InterventionReceipt& receipt = outcome->receipt;
    json warnings = json::array();
    for (const auto& warning : outcome->warnings) {
        warnings.push_back(
            {{"code", warning.code}, {"path", warning.path}, {"message", warning.message}});
    }
    json payload = pathMembers();
    payload["receipt_id"] = receipt.receiptId;
    payload["version"] = receipt.version;
    payload["project"] = receipt.project.name;
    payload["task_count"] = static_cast<std::int64_t>(receipt.items.size());
    payload["result"] = resultName(outcome->result.kind);
    payload["message"] = outcome->userMessage();
    payload["warnings"] = std::move(warnings);
    return {std::move(payload), false};
}

ServerTools::Outcome ServerTools::status() {
    // Counted in SQL, so the answer costs what the open work costs.
    const auto unfinished = store_.countTasks(TaskSelection{}, currentTimestamp());
    if (!unfinished) return failure(localized(unfinished.error()));

    json payload = pathMembers();
    payload["database_schema_version"] = store_.schemaVersion();
    payload["archive_schema_version"] = KestrinArchive::currentSchemaVersion;
    payload["unfinished_task_count"] = *unfinished;
    return {std::move(payload), false};
}

json ServerTools::pathMembers() const {
    return {{"data_path", displayPath(paths_.root())},
            {"database_path", displayPath(paths_.database())}};
}

}  // namespace kestrin
