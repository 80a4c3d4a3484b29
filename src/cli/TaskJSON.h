#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "core/intake/AppPaths.h"
#include "core/store/ReceiptHistoryRecord.h"
#include "core/intake/TaskDataEnvironment.h"
#include "core/store/TaskRecord.h"

namespace kestrin {

// The --json forms of velmora-cli's reading commands, under the wire rules of
// every document the system writes: snake-case keys in byte order, absent
// optional fields left out, timestamps in the written form, enumerations as
// their raw values; the item exactly as the receipt encoder writes it.
class TaskJSON {
public:
    TaskJSON() = delete;

    // task_key, receipt_id, receipt_version, project, source, receipt_state,
    // receipt_summary, item, created_at, updated_at, imported_at, status,
    // snoozed_until (when set), completed_step_ids (ascending) and
    // total_step_count. Each step of the item also gets risk_flags: the
    // CommandRiskPolicy's risks of its command as {code, text} objects
    // (empty when none).
    static nlohmann::json task(const TaskRecord& task);

    // receipt_id, version, project_name, agent, state, requires_user_action,
    // summary, imported_at.
    static nlohmann::json history(const ReceiptHistoryRecord& receipt);

    // environment (raw value), environment_name (display name), root, inbox,
    // processed, rejected, backups, database.
    static nlohmann::json paths(const AppPaths& paths, TaskDataEnvironment environment);

    // `value` laid out as the receipt encoder's pretty form, with a final line
    // feed.
    static std::string document(const nlohmann::json& value);
};

}  // namespace kestrin
