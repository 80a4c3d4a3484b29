#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandContext.h"
#include "core/support/Result.h"
#include "core/store/StoreError.h"
#include "core/store/TaskRecord.h"
#include "core/store/TaskSelection.h"
#include "core/store/TaskStatus.h"
#include "core/store/TaskSummary.h"

namespace kestrin {

// Which tasks `list` and `count` take. By default the open tasks (neither
// completed nor cancelled) in the store's order; `all` adds the closed ones, a
// status filter looks at every task with that status; `project` keeps the
// tasks of that exact project name; `search` applies the desktop app's search
// rule (TaskSearch).
struct TaskFilter {
    bool all = false;
    std::optional<std::string> project;
    std::optional<TaskStatus> status;
    std::string search;
};

// The reading commands: list, count, show, history and paths. Each writes
// human output or, with `json`, one JSON document to standard output, and
// returns an exit status. Reading wakes snoozed tasks that are due, as every
// listing of the store does.
class ReadingCommands {
public:
    explicit ReadingCommands(CommandContext& context) : context_(context) {}

    int list(const TaskFilter& filter, bool json);
    // One number: how many tasks `list` with the same filter shows.
    int count(const TaskFilter& filter, bool json);
    int show(const std::string& taskKey, bool json);
    // The newest `limit` receipts, newest first.
    int history(std::int64_t limit, bool json);
    // The data environment and its paths; touches nothing on disk.
    int paths(bool json);
    // How to add this installation's kestrin-mcp (the one beside
    // `executable`) to `agent` ("codex", "claude" or "opencode"; all three
    // when none), with the result tool on and KESTRIN_HOME when the store is
    // not the default one. One agent's text is printed bare.
    int connect(const std::optional<std::string>& agent, const std::filesystem::path& executable);

private:
    // The store's selection for the filter's status, project and --all; the
    // search is applied to the listed rows.
    static TaskSelection selection(const TaskFilter& filter);
    // The filtered tasks, whole for JSON or as summaries for the rows people
    // read (no item decoded); each warns on stderr, as the app does, when the
    // store skipped unreadable rows.
    Result<std::vector<TaskRecord>, StoreError> filteredTasks(const TaskFilter& filter);
    Result<std::vector<TaskSummary>, StoreError> filteredSummaries(const TaskFilter& filter);
    template <typename Row>
    Result<std::vector<Row>, StoreError> searched(Result<std::vector<Row>, StoreError> rows,
                                                  const TaskFilter& filter);
    // The warning about the rows the store's latest query skipped, if any.
    void warnAboutSkippedRows();

    CommandContext& context_;
};

}  // namespace kestrin
