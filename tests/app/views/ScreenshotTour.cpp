// Renders the window's main states to PNG files for scripts/screenshots (run
// under Xvfb):  velmora_screenshots OUTPUT_DIRECTORY
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdio>

#include "app/views/TaskDetailView.h"
#include "app/views/dialogs/QtViewDialogs.h"
#include "app/views/widgets/AppAppearance.h"
#include "views/GuiHarness.h"

using namespace kestrin;
using kestrin::testing::GuiHarness;

namespace {

const std::string billing = "rcpt-2026-07-27-billing-migration";
const std::string grantKey = billing + "::grant-replica-access";
const std::string windowKey = billing + "::confirm-window";
const std::string releaseKey = "rcpt-2026-07-27-release-approval::approve-release";
QDir output;
bool ok = true;

void save(QWidget& widget, const char* name) {
    QApplication::processEvents();
    const QString path = output.filePath(QString::fromUtf8(name));
    ok = widget.grab().save(path) && ok;
    std::printf("%s\n", qPrintable(path));
}

// The sample receipts, in the states a working day leaves them in.
void seed(GuiHarness& harness) {
    for (const char* file : {"claude-push-certificate.json", "opencode-release-approval.json",
                             "codex-note-only.json", "receipt-typical.json"}) {
        if (auto error = harness.submitFile(file, std::string_view(file).starts_with("receipt-"))) qFatal("%s", error->c_str());
    }
    for (const char* step : {"open-console", "find-replica"}) harness.tickStep(grantKey, step);
    for (const char* step : {"read-plan", "check-calendar", "choose-time", "paste-choice"}) {
        harness.tickStep(windowKey, step);
    }
    harness.setStatus(billing + "::wait-dns", TaskStatus::waitingExternal);
    harness.tickStep(releaseKey, "review-diff");
    harness.tickStep(releaseKey, "approve");
    harness.setStatus(releaseKey, TaskStatus::readyToResume);
    harness.reload();
}

void select(GuiHarness& harness, const std::string& key) {
    harness.model().updateTaskSelection({key});
    harness.settle();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_screenshots OUTPUT_DIRECTORY\n");
        return 2;
    }
    output.setPath(QString::fromLocal8Bit(argv[1]));
    if (!output.exists() && !QDir().mkpath(output.path())) return 1;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    AppAppearance::apply(application, AppAppearance::ColorScheme::light);
    {
        GuiHarness harness;
        harness.window().show();
        harness.settle();
        save(harness.window(), "empty-store.png");
        seed(harness);
        select(harness, "rcpt-2026-07-27-push-certificate::renew-apns");
        save(harness.window(), "attention-list.png");
        harness.model().setNote(windowKey,
                                QStringLiteral("选择今晚 22:30 开始迁移；值班日历上没有冲突。"));
        select(harness, windowKey);
        save(harness.window(), "codex-detail.png");
        auto* scroll =
            harness.window().detailView()->findChild<QScrollArea*>()->verticalScrollBar();
        scroll->setValue(scroll->maximum());
        save(harness.window(), "codex-detail-handback.png");
        harness.model().setSelection(SidebarSelection::history());
        harness.settle();
        save(harness.window(), "history.png");
        const auto notice = QtViewDialogs::noticeBox(
            &harness.window(), QStringLiteral("收件箱处理完成"),
            QStringLiteral("rc-0001.json：已导入，新增 3 个事项。\nbad.json：已拒收，回执 JSON "
                           "无法解析：第 1 行附近缺少右括号。"));
        notice->show();
        save(*notice, "notice.png");
        const auto confirmation = QtViewDialogs::confirmationBox(
            &harness.window(),
            {QStringLiteral("永久删除 2 个事项？"),
             QStringLiteral("这些任务将从当前任务列表移除，无法通过“已取消”恢复；"
                            "对应回执仍会保留在“回执历史”中。"),
             QStringLiteral("永久删除 2 项"), QStringLiteral("取消")});
        confirmation->show();
        save(*confirmation, "delete-confirmation.png");
    }
    // The palette is read when the views are built: a new window for the dark one.
    AppAppearance::apply(application, AppAppearance::ColorScheme::dark);
    GuiHarness harness;
    harness.window().show();
    seed(harness);
    select(harness, grantKey);
    save(harness.window(), "dark-appearance.png");
    return ok ? 0 : 1;
}
