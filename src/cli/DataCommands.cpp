#include "cli/DataCommands.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <system_error>

#include "cli/TerminalText.h"
#include "core/support/FileSystem.h"
#include "core/archive/TaskArchiveManager.h"
#include "core/support/TextTrimming.h"

namespace kestrin {

namespace {

// Writes `bytes` to a new file at `location`; an existing file is refused by
// the exclusive open, so none is ever overwritten. A write that fails halfway
// removes the file again, leaving no truncated archive behind.
Result<void, FileError> writeNewFile(const std::filesystem::path& location,
                                     std::string_view bytes) {
    const auto failure = [&location](int code) {
        return FileError::fromCode(FileError::Kind::writeFile, location.string(),
                                   std::error_code(code, std::generic_category()));
    };
    std::FILE* file = std::fopen(location.c_str(), "wbx");
    if (file == nullptr) return fail(failure(errno));
    int error = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) error = errno;
    if (std::fclose(file) != 0 && error == 0) error = errno;
    if (error != 0) {
        std::error_code ignored;
        std::filesystem::remove(location, ignored);
        return fail(failure(error));
    }
    return {};
}

std::string displayPath(const std::filesystem::path& location) {
    return TerminalText::printable(location.string(), false);
}

}  // namespace

int DataCommands::importReceipts(const std::vector<std::string>& sources) {
    if (!context_.open()) return exitRefused;
    int status = exitSuccess;
    for (const std::string& source : sources) {
        const bool standardInput = source == "-";
        auto outcome = [&] {
            if (!standardInput) return context_.importer().importFile(source);
            const std::string bytes((std::istreambuf_iterator<char>(context_.input())),
                                    std::istreambuf_iterator<char>());
            return context_.importer().importData(bytes);
        }();
        const std::string name =
            standardInput
                ? "标准输入"
                : TerminalText::printable(std::filesystem::path(source).filename().string(), false);
        if (outcome) {
            context_.output() << name << "：" << outcome->userMessage() << '\n';
        } else {
            status = context_.refuse(name, outcome.error());
        }
    }
    return status;
}

int DataCommands::scan() {
    if (!context_.open()) return exitRefused;
    auto events = context_.inboxScanner().scanOnce();
    if (!events) return context_.refuse("无法扫描收件箱", events.error());
    if (events->empty()) {
        context_.output() << "当前没有新的 JSON 回执。\n";
        return exitSuccess;
    }
    int status = exitSuccess;
    for (const InboxScanEvent& event : *events) {
        const auto& result = event.result;
        const std::string name = TerminalText::printable(event.filename, false);
        switch (result.kind) {
            case InboxScanEvent::Result::Kind::accepted:
                context_.output() << name << "：" << result.outcome->userMessage() << '\n';
                break;
            case InboxScanEvent::Result::Kind::acceptedButArchivingFailed:
                context_.output() << name << "：" << result.outcome->userMessage()
                                  << "（注意：归档到 processed 目录失败，文件仍留在收件箱，"
                                     "下轮扫描会重试。原因："
                                  << result.reason << "）\n";
                break;
            case InboxScanEvent::Result::Kind::rejected:
                status = context_.refuse(name + "：已拒收，" + result.reason);
                break;
        }
    }
    return status;
}

std::string DataCommands::currentDataContext() const {
    const AppPaths& paths = context_.paths();
    return "当前环境：" + std::string(displayName(paths.dataEnvironment(context_.environment()))) +
           "\n当前数据库：" + displayPath(paths.database());
}

int DataCommands::confirmRestore(const std::string& title, const std::filesystem::path& source,
                                 const std::string& message, bool confirmed) {
    if (confirmed) return exitSuccess;
    if (!context_.console().inputIsTerminal) {
        return context_.refuse(
            "需要确认：恢复会替换当前任务库的内容，但标准输入不是终端，无法询问；"
            "核对来源文件后加 --yes 再运行。");
    }
    const bool standard =
        context_.paths().dataEnvironment(context_.environment()) == TaskDataEnvironment::standard;
    std::ostream& errors = context_.errors();
    errors << title << '\n'
           << currentDataContext() << "\n来源文件：" << displayPath(source) << "\n\n"
           << message << '\n'
           << (standard ? "恢复到正式任务库" : "继续恢复") << "？(y/N) " << std::flush;
    std::string answer;
    std::getline(context_.input(), answer);
    const std::string_view trimmed = trimmedText(answer);
    if (trimmed == "y" || trimmed == "Y" || trimmed == "yes" || trimmed == "YES") {
        return exitSuccess;
    }
    return context_.refuse("已取消，没有恢复。");
}

int DataCommands::exportArchive(const std::string& file) {
    if (!context_.open()) return exitRefused;
    const std::filesystem::path location = SQLiteTaskStore::standardizedPath(file);
    if (FileSystem::standard().exists(location)) {
        return context_.refuse(
            "没有覆盖现有文件：请选择一个新文件名；Velmora 不会静默覆盖已有归档。");
    }
    TaskArchiveManager manager(context_.store(), context_.paths());
    auto bytes = manager.exportData(true);
    if (!bytes) return context_.refuse("无法导出数据归档", bytes.error());
    if (auto written = writeNewFile(location, *bytes); !written) {
        return context_.refuse("无法导出数据归档", written.error());
    }
    context_.output() << "数据归档已导出\n"
                      << currentDataContext() << "\n归档文件：" << displayPath(location) << '\n';
    return exitSuccess;
}

int DataCommands::restoreArchive(const std::string& file, bool confirmed) {
    if (!context_.open()) return exitRefused;
    const std::filesystem::path source = SQLiteTaskStore::standardizedPath(file);
    if (const int answer =
            confirmRestore("恢复这份数据归档？", source,
                           "归档会在临时数据库中完整校验，再合并回当前任务库。"
                           "较旧回执不会覆盖本地较新版本，恢复前会自动创建安全副本。",
                           confirmed);
        answer != exitSuccess) {
        return answer;
    }
    auto bytes = FileSystem::standard().readFile(source);
    if (!bytes) return context_.refuse("没有恢复数据归档", bytes.error());
    TaskArchiveManager manager(context_.store(), context_.paths());
    auto outcome = manager.restoreData(*bytes);
    if (!outcome) return context_.refuse("没有恢复数据归档", outcome.error());
    context_.output() << "数据归档已恢复\n"
                      << currentDataContext() << "\n来源归档：" << displayPath(source)
                      << "\n已核对 " << outcome->receiptCount << " 张回执和 " << outcome->taskCount
                      << " 个任务状态。\n恢复前安全副本：" << displayPath(outcome->safetyBackup)
                      << '\n';
    return exitSuccess;
}

int DataCommands::backup() {
    if (!context_.open()) return exitRefused;
    TaskArchiveManager manager(context_.store(), context_.paths());
    auto location = manager.createDatabaseBackup();
    if (!location) return context_.refuse("无法创建数据库备份", location.error());
    context_.output() << "数据库备份已创建\n"
                      << currentDataContext() << "\n备份文件：" << displayPath(*location) << '\n';
    return exitSuccess;
}

int DataCommands::restoreDatabase(const std::string& file, bool confirmed) {
    if (!context_.open()) return exitRefused;
    const std::filesystem::path source = SQLiteTaskStore::standardizedPath(file);
    if (const int answer = confirmRestore("用这份数据库备份恢复？", source,
                                          "当前数据库会先保存为安全副本。来源数据库将经过版本和完整"
                                          "性检查；失败时会自动尝试回滚。",
                                          confirmed);
        answer != exitSuccess) {
        return answer;
    }
    TaskArchiveManager manager(context_.store(), context_.paths());
    auto safety = manager.restoreDatabaseBackup(source);
    if (!safety) return context_.refuse("没有恢复数据库备份", safety.error());
    context_.output() << "数据库备份已恢复\n"
                      << currentDataContext() << "\n来源备份：" << displayPath(source)
                      << "\n恢复前安全副本：" << displayPath(*safety) << '\n';
    return exitSuccess;
}

}  // namespace kestrin
