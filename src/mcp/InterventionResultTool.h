#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <variant>

#include "core/support/Result.h"
#include "core/store/SQLiteTaskStore.h"
#include "core/store/TaskRecord.h"
#include "mcp/MCPInputError.h"

namespace kestrin {

// get_intervention_result: an agent reads back what the human did with a
// receipt it submitted. A task's note and resume message are released only
// once the human has handed the task back (status ready_to_resume, completed
// or cancelled); nothing is ever pushed to an agent. `store` must outlive the
// tool.
class InterventionResultTool {
public:
    using Failure = std::variant<MCPInputError, StoreError>;

    // How often a waiting call looks at the database's change counter.
    static constexpr std::chrono::milliseconds pollInterval{200};
    static constexpr std::int64_t maximumWaitSeconds = 50;

    explicit InterventionResultTool(SQLiteTaskStore& store) : store_(store) {}

    // The definition answered to tools/list.
    static nlohmann::json definition();

    // Runs the tool with `arguments` (an object): "receipt_id" (required
    // string) and "wait_seconds" (integer 0 to 50, default 0). With a wait,
    // returns as soon as a task of the receipt newly reaches a handed-back
    // status, or when the time is up, whatever happens to the database
    // meanwhile. Refuses bad arguments and unknown receipts (MCPInputError);
    // a database failure outside the wait is a StoreError.
    Result<nlohmann::json, Failure> call(const nlohmann::json& arguments);

private:
    struct Snapshot {
        nlohmann::json payload;
        std::set<std::string> handedBack;  // task keys
    };

    Result<Snapshot, Failure> read(const std::string& receiptID);
    // The text the desktop app copies for a handed-back task.
    Result<std::string, StoreError> resumeMessage(const TaskRecord& task);

    SQLiteTaskStore& store_;
};

}  // namespace kestrin
