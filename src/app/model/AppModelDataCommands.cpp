// The four data commands of AppModel: archive export and restore, database
// backup and restore, with their panels, confirmation and notices.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "app/model/AppModel.h"
#include "app/model/QtText.h"
#include "core/support/FileError.h"
#include "core/support/FileSystem.h"
#include "core/archive/TaskArchiveManager.h"

namespace kestrin {
namespace {

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// Writes `bytes` to a new file at `location`, refusing an existing file (no
// overwrite, and no atomic replace that could hide one). A write that fails
// halfway removes the file it created, so no truncated archive is left behind
// looking like a good one.
Result<void, FileError> writeNewFile(const std::filesystem::path& location,
                                     std::string_view bytes) {
    const auto failure = [&location](int code) {
        return FileError::fromCode(FileError::Kind::writeFile, location.string(),
                                   std::error_code(code, std::generic_category()));
    };
    const int descriptor = ::open(location.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) return fail(failure(errno));
    std::size_t written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::close(descriptor) != 0 && error == 0) error = errno;
    if (error != 0) {
        ::unlink(location.c_str());
        return fail(failure(error));
    }
    return {};
}

// Brackets a long command with its first and last progress report; the last
// one is sent on every way out.
class ProgressReport {
  public:
    ProgressReport(AppModel& model, DataCommandProgress::Command command)
        : model_(model), command_(command) {
        emit model_.dataCommandProgressChanged(DataCommandProgress{command_, 0, 0, false});
    }
    ~ProgressReport() {
        emit model_.dataCommandProgressChanged(DataCommandProgress{command_, done_, total_, true});
    }
    ProgressReport(const ProgressReport&) = delete;
    ProgressReport& operator=(const ProgressReport&) = delete;

    // The callback the archive manager calls with (done, total).
    TaskArchiveManager::Progress callback() {
        return [this](std::int64_t done, std::int64_t total) {
            done_ = done;
            total_ = total;
            emit model_.dataCommandProgressChanged(
                DataCommandProgress{command_, done, total, false});
        };
    }

  private:
    AppModel& model_;
    DataCommandProgress::Command command_;
    std::int64_t done_ = 0;
    std::int64_t total_ = 0;
};

}  // namespace

QString AppModel::currentDataContext() const {
    const QString database =
        paths_ ? toQString(paths_->database().string()) : QStringLiteral("数据库尚未连接");
    return QStringLiteral("当前环境：") + toQString(displayName(dataEnvironment())) +
           QStringLiteral("\n当前数据库：") + database;
}

bool AppModel::confirmRestore(const QString& title, const QString& source, const QString& message) {
    const bool standard = dataEnvironment_ == TaskDataEnvironment::standard;
    return platform_.alerts->confirm(ConfirmationRequest{
        title,
        currentDataContext() + QStringLiteral("\n来源文件：") + source + QStringLiteral("\n\n") +
            message,
        standard ? QStringLiteral("恢复到正式任务库") : QStringLiteral("继续恢复"),
        QStringLiteral("取消")});
}

void AppModel::exportArchive() {
    if (!store_ || !paths_) return;
    const QString proposedName = QStringLiteral("Velmora-export-") +
                                 toQString(kestrinISO8601(platform_.clock()).substr(0, 10)) +
                                 QStringLiteral(".json");
    const std::optional<QString> chosen = platform_.filePanels->chooseSaveLocation(SavePanelRequest{
        QStringLiteral("导出 Velmora 数据归档"), proposedName, PanelFileType::json, true});
    if (!chosen) return;
    const std::filesystem::path location = localPath(*chosen);
    if (FileSystem::standard().exists(location)) {
        showNotice(QStringLiteral("没有覆盖现有文件"),
                   QStringLiteral("请选择一个新文件名；Velmora 不会静默覆盖已有归档。"));
        return;
    }
    ProgressReport progress(*this, DataCommandProgress::Command::exportArchive);
    TaskArchiveManager manager(*store_, *paths_, {}, {}, platform_.clock);
    auto bytes = manager.exportData(true, progress.callback());
    if (!bytes) {
        present(bytes.error(), QStringLiteral("无法导出数据归档"));
        return;
    }
    if (auto written = writeNewFile(location, *bytes); !written) {
        present(written.error(), QStringLiteral("无法导出数据归档"));
        return;
    }
    showNotice(QStringLiteral("数据归档已导出"),
               currentDataContext() + QStringLiteral("\n归档文件：") + *chosen);
}

void AppModel::restoreArchive() {
    if (!store_ || !paths_) return;
    const std::optional<QString> source = platform_.filePanels->chooseFileToOpen(
        OpenPanelRequest{QStringLiteral("选择 Velmora 数据归档"), PanelFileType::json});
    if (!source) return;
    if (!confirmRestore(
            QStringLiteral("恢复这份数据归档？"), *source,
            QStringLiteral("归档会在临时数据库中完整校验，再合并回当前任务库。"
                           "较旧回执不会覆盖本地较新版本，恢复前会自动创建安全副本。"))) {
        return;
    }
    ProgressReport progress(*this, DataCommandProgress::Command::restoreArchive);
    auto bytes = FileSystem::standard().readFile(localPath(*source));
    if (!bytes) {
        present(bytes.error(), QStringLiteral("没有恢复数据归档"));
        return;
    }
    TaskArchiveManager manager(*store_, *paths_, {}, {}, platform_.clock);
    auto outcome = manager.restoreData(*bytes, progress.callback());
    if (!outcome) {
        present(outcome.error(), QStringLiteral("没有恢复数据归档"));
        return;
    }
    refresh();
    showNotice(QStringLiteral("数据归档已恢复"),
               currentDataContext() + QStringLiteral("\n来源归档：") + *source +
                   QStringLiteral("\n已核对 ") + QString::number(outcome->receiptCount) +
                   QStringLiteral(" 张回执和 ") + QString::number(outcome->taskCount) +
                   QStringLiteral(" 个任务状态。\n恢复前安全副本：") +
                   toQString(outcome->safetyBackup.string()));
}

void AppModel::createDatabaseBackup() {
    if (!store_ || !paths_) return;
    TaskArchiveManager manager(*store_, *paths_, {}, {}, platform_.clock);
    auto location = manager.createDatabaseBackup();
    if (!location) {
        present(location.error(), QStringLiteral("无法创建数据库备份"));
        return;
    }
    showNotice(
        QStringLiteral("数据库备份已创建"),
        currentDataContext() + QStringLiteral("\n备份文件：") + toQString(location->string()));
}

void AppModel::restoreDatabaseBackup() {
    if (!store_ || !paths_) return;
    const std::optional<QString> source = platform_.filePanels->chooseFileToOpen(
        OpenPanelRequest{QStringLiteral("选择 Velmora 数据库备份"), PanelFileType::sqliteDatabase});
    if (!source) return;
    if (!confirmRestore(QStringLiteral("用这份数据库备份恢复？"), *source,
                        QStringLiteral("当前数据库会先保存为安全副本。来源数据库将经过版本和完整性"
                                       "检查；失败时会自动尝试回滚。"))) {
        return;
    }
    TaskArchiveManager manager(*store_, *paths_, {}, {}, platform_.clock);
    auto safety = manager.restoreDatabaseBackup(localPath(*source));
    if (!safety) {
        present(safety.error(), QStringLiteral("没有恢复数据库备份"));
        return;
    }
    refresh();
    showNotice(QStringLiteral("数据库备份已恢复"),
               currentDataContext() + QStringLiteral("\n来源备份：") + *source +
                   QStringLiteral("\n恢复前安全副本：") + toQString(safety->string()));
}

}  // namespace kestrin
