#include "cli/ReadingCommands.h"

#include "cli/HumanOutput.h"
#include "cli/TaskJSON.h"
#include "cli/TaskSearch.h"
#include "core/intake/AgentConnectionGuide.h"
#include "core/receipt/Timestamp.h"

namespace kestrin {

namespace {

constexpr std::string_view readFailureTitle = "无法读取任务";

bool isFiltered(const TaskFilter& filter, const TaskSearch& search) {
    return filter.project || filter.status || !search.isEmpty();
}

}  // namespace

TaskSelection ReadingCommands::selection(const TaskFilter& filter) {
    return {filter.all, filter.status, filter.project};
}

void ReadingCommands::warnAboutSkippedRows() {
    if (const std::int64_t skipped = context_.store().lastSkippedTaskRowCount(); skipped >= 1) {
        context_.warn("部分记录无法解析：任务库中有 " + std::to_string(skipped) +
                      " 条记录无法被当前版本读取（可能由更新版本的 App 写入）。"
                      "其余功能不受影响；这些记录已从列表中隐藏。");
    }
}

template <typename Row>
Result<std::vector<Row>, StoreError> ReadingCommands::searched(
    Result<std::vector<Row>, StoreError> rows, const TaskFilter& filter) {
    if (!rows) return rows;
    warnAboutSkippedRows();
    const TaskSearch search(filter.search);
    if (!search.isEmpty()) {
        std::erase_if(*rows, [&](const Row& row) { return !search.matches(row.searchFields()); });
    }
    return rows;
}

Result<std::vector<TaskRecord>, StoreError> ReadingCommands::filteredTasks(
    const TaskFilter& filter) {
    return searched(context_.store().listTasks(selection(filter), currentTimestamp()), filter);
}

Result<std::vector<TaskSummary>, StoreError> ReadingCommands::filteredSummaries(
    const TaskFilter& filter) {
    return searched(context_.store().listTaskSummaries(selection(filter), currentTimestamp()),
                    filter);
}

int ReadingCommands::list(const TaskFilter& filter, bool json) {
    if (!context_.open()) return exitRefused;
    std::ostream& output = context_.output();
    if (json) {
        auto tasks = filteredTasks(filter);
        if (!tasks) return context_.refuse(readFailureTitle, tasks.error());
        auto documents = nlohmann::json::array();
        for (const TaskRecord& task : *tasks) documents.push_back(TaskJSON::task(task));
        output << TaskJSON::document(documents);
        return exitSuccess;
    }
    // A line per task needs no decoded item: with a long history's thousands
    // of open tasks, decoding them was most of the command's time.
    auto tasks = filteredSummaries(filter);
    if (!tasks) return context_.refuse(readFailureTitle, tasks.error());
    if (tasks->empty()) {
        output << "没有匹配的事项\n";
        if (!isFiltered(filter, TaskSearch(filter.search))) {
            output << "Codex 通过 MCP 提交的人工介入事项会自动出现在这里。\n";
        }
    } else {
        HumanOutput(context_.console(), output).taskRows(*tasks);
    }
    return exitSuccess;
}

int ReadingCommands::count(const TaskFilter& filter, bool json) {
    if (!context_.open()) return exitRefused;
    std::int64_t number = 0;
    if (TaskSearch(filter.search).isEmpty()) {
        // Counted in SQL: the cost follows the open work, not the history.
        auto counted = context_.store().countTasks(selection(filter), currentTimestamp());
        if (!counted) return context_.refuse(readFailureTitle, counted.error());
        warnAboutSkippedRows();
        number = *counted;
    } else {
        auto tasks = filteredSummaries(filter);
        if (!tasks) return context_.refuse(readFailureTitle, tasks.error());
        number = static_cast<std::int64_t>(tasks->size());
    }
    if (json) {
        context_.output() << TaskJSON::document(nlohmann::json{{"count", number}});
    } else {
        context_.output() << number << '\n';
    }
    return exitSuccess;
}

int ReadingCommands::show(const std::string& taskKey, bool json) {
    if (!context_.open()) return exitRefused;
    auto task = context_.store().task(taskKey);
    if (!task) return context_.refuse(readFailureTitle, task.error());
    auto note = context_.store().note(taskKey);
    if (!note) return context_.refuse(readFailureTitle, note.error());
    if (json) {
        auto document = TaskJSON::task(*task);
        if (!note->empty()) document["note"] = *note;
        context_.output() << TaskJSON::document(document);
    } else {
        HumanOutput(context_.console(), context_.output()).workSheet(*task, *note);
    }
    return exitSuccess;
}

int ReadingCommands::history(std::int64_t limit, bool json) {
    if (!context_.open()) return exitRefused;
    auto receipts = context_.store().receiptHistory(limit);
    if (!receipts) return context_.refuse(readFailureTitle, receipts.error());
    std::ostream& output = context_.output();
    if (json) {
        auto documents = nlohmann::json::array();
        for (const auto& receipt : *receipts) documents.push_back(TaskJSON::history(receipt));
        output << TaskJSON::document(documents);
    } else if (receipts->empty()) {
        output << "回执历史为空。\n";
    } else {
        HumanOutput(context_.console(), output).historyRows(*receipts);
    }
    return exitSuccess;
}

int ReadingCommands::paths(bool json) {
    const auto paths = context_.resolvePaths();
    if (!paths) return exitRefused;
    const TaskDataEnvironment environment = paths->dataEnvironment(context_.environment());
    if (json) {
        context_.output() << TaskJSON::document(TaskJSON::paths(*paths, environment));
    } else {
        HumanOutput(context_.console(), context_.output()).paths(*paths, environment);
    }
    return exitSuccess;
}

int ReadingCommands::connect(const std::optional<std::string>& agent,
                             const std::filesystem::path& executable) {
    const auto paths = context_.resolvePaths();
    if (!paths) return exitRefused;
    std::optional<std::filesystem::path> home;
    if (paths->dataEnvironment(context_.environment()) != TaskDataEnvironment::standard) {
        home = paths->root();
    }
    const AgentConnectionGuide guide(AgentConnectionGuide::serverBeside(executable), home);
    std::vector<AgentConnectionGuide::Entry> entries;
    if (agent) {
        entries.push_back(*guide.entry(*agent));
    } else {
        entries = guide.entries();
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // Bare when one agent was asked for, so it can be piped into a shell.
        if (!agent) {
            context_.output() << (i ? "\n" : "") << entries[i].displayName << " · "
                              << entries[i].where << '\n';
        }
        context_.output() << entries[i].text << '\n';
    }
    return exitSuccess;
}

}  // namespace kestrin
