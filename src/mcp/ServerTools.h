#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/intake/AppPaths.h"
#include "core/intake/ReceiptImporter.h"
#include "core/support/Result.h"
#include "core/store/SQLiteTaskStore.h"
#include "mcp/JSONWriteError.h"
#include "mcp/MCPInputError.h"

namespace kestrin {

// The two tools the server offers: submit_intervention_receipt, which runs a
// receipt through the importer into the store, and get_kestrin_status, which
// reports where the data lives and how many tasks are unfinished. `store` and
// `importer` must outlive the tools.
class ServerTools {
public:
    // The answer to one call: the payload for "structuredContent" and whether
    // it reports a failure. A failure's payload is {"error": text}.
    struct Outcome {
        nlohmann::json payload;
        bool isError = false;
    };

    using ReceiptDataError = std::variant<MCPInputError, JSONWriteError>;

    ServerTools(AppPaths paths, SQLiteTaskStore& store, const ReceiptImporter& importer);

    // The tool definitions answered to tools/list, the submission tool first;
    // built fresh and identical on every call.
    static nlohmann::json toolDefinitions();

    // Runs the tool named `name` (compared exactly) with `arguments` (an
    // object). Nothing when no tool has that name. Failures of the tool itself
    // (bad argument, refused receipt, database error) are outcomes with
    // isError set, never missing answers.
    std::optional<Outcome> call(std::string_view name, const nlohmann::json& arguments);

    // The bytes handed to the importer for the "receipt" argument (null when
    // absent): an object or array, or a string holding one, written with the
    // channel's rules (WireJSON::serialize), so the same receipt always yields
    // the same bytes whatever its spacing or key order. missingReceipt for no
    // value, invalidReceipt for a scalar or a string that does not hold an
    // object or array; a write failure is passed on.
    static Result<std::string, ReceiptDataError> receiptData(const nlohmann::json* receipt);

private:
    Outcome submitReceipt(const nlohmann::json& arguments);
    Outcome status();
    nlohmann::json pathMembers() const;

    AppPaths paths_;
    SQLiteTaskStore& store_;
    const ReceiptImporter& importer_;
};

}  // namespace kestrin
