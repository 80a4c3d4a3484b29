#include "cli/VelmoraCLI.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>

#include "cli/CommandContext.h"
#include "cli/DataCommands.h"
#include "cli/ExitStatus.h"
#include "cli/ReadingCommands.h"
#include "cli/WorkingCommands.h"
#include "core/intake/BuildInfo.h"

namespace kestrin {

namespace {

std::vector<std::string> statusNames(bool withSnoozed) {
    std::vector<std::string> names;
    for (const auto& c : allCases<TaskStatus>()) {
        // A snooze needs a wake-up time, which only the snooze command gives.
        if (withSnoozed || c.value != TaskStatus::snoozed) names.emplace_back(c.rawValue);
    }
    return names;
}

void addFilterOptions(CLI::App& command, TaskFilter& filter, std::string& status) {
    command.add_flag("--all", filter.all, "也列出已完成和已取消的事项");
    command.add_option("--project", filter.project, "只看这个项目（项目名称完全一致）")
        ->type_name("NAME");
    command.add_option("--status", status, "只看这个状态的事项")
        ->type_name("STATUS")
        ->check(CLI::IsMember(statusNames(true)));
    command
        .add_option("--search", filter.search,
                    "在事项标题、原因、项目、原任务、Agent 和类别中搜索（不区分大小写）")
        ->type_name("TEXT");
}

void addJSONFlag(CLI::App& command, bool& json) {
    command.add_flag("--json", json, "输出 JSON");
}

}  // namespace

int VelmoraCLI::main(const std::vector<std::string>& arguments,
                     const AppPaths::Environment& environment, const ConsoleFacts& console,
                     std::istream& input, std::ostream& output, std::ostream& errors) {
    CommandContext context(environment, console, input, output, errors);
    ReadingCommands reading(context);
    WorkingCommands working(context);
    DataCommands data(context);

    CLI::App app("Velmora 的终端入口：在终端里查看和处理 Agent 交给你的人工介入事项。",
                 "velmora-cli");
    app.set_help_flag("-h,--help", "显示帮助并退出");
    app.set_version_flag("--version", std::string(BuildInfo::productVersion), "显示版本并退出");
    // At most one command; with none, the help goes to stderr as bad usage, and
    // an unknown word is reported as such rather than as a missing command.
    app.require_subcommand(0, 1);
    int status = exitSuccess;

    // Reading.
    TaskFilter filter;
    std::string filterStatus;
    bool json = false;
    const auto applyStatusFilter = [&] {
        if (!filterStatus.empty()) filter.status = fromRawValue<TaskStatus>(filterStatus);
    };
    auto* list = app.add_subcommand("list", "按处理顺序列出未关闭的事项");
    addFilterOptions(*list, filter, filterStatus);
    addJSONFlag(*list, json);
    list->callback([&] {
        applyStatusFilter();
        status = reading.list(filter, json);
    });

    auto* count = app.add_subcommand("count", "输出 list 会列出的事项数（一个数字，适合状态栏）");
    addFilterOptions(*count, filter, filterStatus);
    addJSONFlag(*count, json);
    count->callback([&] {
        applyStatusFilter();
        status = reading.count(filter, json);
    });

    std::string taskKey;
    auto* show = app.add_subcommand("show", "显示一个事项的完整工作单");
    show->add_option("KEY", taskKey, "任务键（回执 ID::事项 ID）")->required();
    addJSONFlag(*show, json);
    show->callback([&] { status = reading.show(taskKey, json); });

    std::int64_t limit = 100;
    auto* history = app.add_subcommand("history", "列出最近导入的回执，最新的在前");
    history->add_option("--limit", limit, "最多列出多少张回执")
        ->type_name("N")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    addJSONFlag(*history, json);
    history->callback([&] { status = reading.history(limit, json); });

    auto* paths = app.add_subcommand("paths", "显示当前任务库的类型和各个路径");
    addJSONFlag(*paths, json);
    paths->callback([&] { status = reading.paths(json); });

    std::optional<std::string> agent;
    auto* connect = app.add_subcommand(
        "connect", "显示把 kestrin-mcp 加入 Codex、Claude Code 或 OpenCode 的命令");
    connect->add_option("AGENT", agent, "codex、claude 或 opencode；不写则三个都显示")
        ->check(CLI::IsMember({"codex", "claude", "opencode"}));
    connect->callback([&] {
        // The running program, so that the guide names the kestrin-mcp beside it.
        std::error_code ignored;
        status = reading.connect(agent, std::filesystem::read_symlink("/proc/self/exe", ignored));
    });

    // Working.
    std::string stepID;
    bool undo = false;
    auto* step = app.add_subcommand("step", "勾选一个步骤（--undo 取消勾选）");
    step->add_option("KEY", taskKey, "任务键")->required();
    step->add_option("STEP_ID", stepID, "步骤 ID（见 show）")->required();
    step->add_flag("--undo", undo, "把这一步标记为未完成");
    step->callback([&] { status = working.step(taskKey, stepID, undo); });

    std::string duration;
    std::vector<std::string> durations;
    for (const auto& choice : WorkingCommands::snoozeChoices) durations.emplace_back(choice.name);
    auto* snooze =
        app.add_subcommand("snooze", "暂缓提醒：15m（15 分钟）、1h（1 小时）或 tomorrow（明天）");
    snooze->add_option("KEY", taskKey, "任务键")->required();
    snooze->add_option("DURATION", duration, "15m、1h 或 tomorrow")
        ->required()
        ->check(CLI::IsMember(durations));
    snooze->callback([&] {
        const auto& choices = WorkingCommands::snoozeChoices;
        const auto chosen = std::find_if(choices.begin(), choices.end(), [&](const auto& choice) {
            return choice.name == duration;
        });
        status = working.snooze(taskKey, chosen->duration);
    });

    std::string newStatus;
    auto* setStatus = app.add_subcommand("status", "改变事项状态（暂缓请用 snooze）");
    setStatus->add_option("KEY", taskKey, "任务键")->required();
    setStatus->add_option("STATUS", newStatus, "新状态")
        ->required()
        ->check(CLI::IsMember(statusNames(false)));
    setStatus->callback(
        [&] { status = working.status(taskKey, *fromRawValue<TaskStatus>(newStatus)); });

    std::optional<std::string> noteText;
    bool clearNote = false;
    auto* note = app.add_subcommand("note", "查看或写下本人记录（生成恢复消息时一并带上）");
    note->add_option("KEY", taskKey, "任务键")->required();
    auto* noteTextOption = note->add_option("TEXT", noteText, "新的记录；- 表示从标准输入读取");
    note->add_flag("--clear", clearNote, "删除记录")->excludes(noteTextOption);
    note->callback([&] { status = working.note(taskKey, noteText, clearNote); });

    std::optional<std::string> notes;
    bool force = false;
    bool printCommand = false;
    auto* resume = app.add_subcommand(
        "resume", "输出恢复消息并把事项标记为待回传 Agent（需要先完成所有步骤）");
    resume->add_option("KEY", taskKey, "任务键")->required();
    resume->add_option("--notes", notes, "先把这段文字存为本人记录，再生成恢复消息")
        ->type_name("TEXT");
    resume->add_flag("--force", force, "步骤未全部完成也生成恢复消息");
    resume->add_flag("--print-command", printCommand,
                     "只输出在终端里回到原 Agent 会话的命令，不改变事项");
    bool allowSecret = false;
    resume->add_flag("--allow-secret", allowSecret, "恢复消息中像是有密钥时仍然输出");
    resume->callback(
        [&] { status = working.resume(taskKey, notes, force, printCommand, allowSecret); });

    auto* close = app.add_subcommand("close", "恢复消息回传后，把待回传 Agent 的事项关闭为已完成");
    close->add_option("KEY", taskKey, "任务键")->required();
    close->callback([&] { status = working.close(taskKey); });

    auto* cancel = app.add_subcommand("cancel", "取消并关闭事项（已勾选的步骤会保留）");
    cancel->add_option("KEY", taskKey, "任务键")->required();
    cancel->callback([&] { status = working.cancel(taskKey); });

    std::vector<std::string> taskKeys;
    auto* remove = app.add_subcommand("delete", "永久删除事项（对应回执仍保留在回执历史中）");
    remove->add_option("KEY", taskKeys, "任务键，可以有多个；全部删除或全部不删")->required();
    remove->callback(
        [&] { status = working.remove(std::set<std::string>(taskKeys.begin(), taskKeys.end())); });

    // Data.
    std::vector<std::string> sources;
    auto* importReceipts = app.add_subcommand("import", "导入回执 JSON 文件；- 表示从标准输入读取");
    importReceipts->add_option("FILE", sources, "回执文件，可以有多个")->required();
    importReceipts->callback([&] { status = data.importReceipts(sources); });

    auto* scan = app.add_subcommand("scan", "扫描一次恢复收件箱");
    scan->callback([&] { status = data.scan(); });

    std::string file;
    auto* exportArchive = app.add_subcommand("export", "把全部回执和任务状态导出为数据归档");
    exportArchive->add_option("FILE", file, "新的归档文件（不会覆盖已有文件）")->required();
    exportArchive->callback([&] { status = data.exportArchive(file); });

    bool confirmed = false;
    auto* restoreArchive =
        app.add_subcommand("restore", "把数据归档校验后合并回当前任务库（恢复前自动创建安全副本）");
    restoreArchive->add_option("FILE", file, "数据归档文件")->required();
    restoreArchive->add_flag("-y,--yes", confirmed, "不再询问，直接恢复");
    restoreArchive->callback([&] { status = data.restoreArchive(file, confirmed); });

    auto* backup = app.add_subcommand("backup", "在 backups 目录中创建数据库备份");
    backup->callback([&] { status = data.backup(); });

    auto* restoreDatabase =
        app.add_subcommand("restore-db", "用数据库备份替换当前任务库（恢复前自动创建安全副本）");
    restoreDatabase->add_option("FILE", file, "数据库备份文件（.sqlite）")->required();
    restoreDatabase->add_flag("-y,--yes", confirmed, "不再询问，直接恢复");
    restoreDatabase->callback([&] { status = data.restoreDatabase(file, confirmed); });

    try {
        app.parse(std::vector<std::string>(arguments.rbegin(), arguments.rend()));
    } catch (const CLI::ParseError& error) {
        return app.exit(error, output, errors) == 0 ? exitSuccess : exitBadUsage;
    }
    if (app.get_subcommands().empty()) {
        errors << app.help();
        return exitBadUsage;
    }
    return status;
}

}  // namespace kestrin
