// Renders the window's main states to PNG files, so that anyone can look at
// the app without running it: scripts/screenshots runs this under Xvfb.
//   velmora_screenshots OUTPUT_DIRECTORY
#include <QApplication>
#include <QDir>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdio>

#include "app/views/TaskDetailView.h"
#include "app/views/dialogs/QtViewDialogs.h"
#include "app/views/widgets/AppAppearance.h"
#include "views/GuiHarness.h"

using kestrin::AppAppearance;
using kestrin::SidebarSelection;
using kestrin::TaskStatus;
using kestrin::testing::GuiHarness;

namespace {

const std::string billing = "rcpt-2026-07-27-billing-migration";
const std::string grantKey = billing + "::grant-replica-access";
const std::string windowKey = billing + "::confirm-window";
const std::string dnsKey = billing + "::wait-dns";
const std::string pushKey = "rcpt-2026-07-27-push-certificate::renew-apns";
const std::string releaseKey = "rcpt-2026-07-27-release-approval::approve-release";

bool save(QWidget& window, const QDir& directory, const QString& name) {
    QApplication::processEvents();
    const QString path = directory.filePath(name);
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The sample receipts, in the states a working day leaves them in.
void seed(GuiHarness& harness) {
    for (const char* file : {"claude-push-certificate.json", "opencode-release-approval.json",
                             "codex-note-only.json"}) {
        if (auto error = harness.submitFile(file)) qFatal("%s: %s", file, error->c_str());
    }
    if (auto error = harness.submitFile("receipt-typical.json", true)) qFatal("%s", error->c_str());
    harness.tickStep(grantKey, "open-console");
    harness.tickStep(grantKey, "find-replica");
    for (const char* step : {"read-plan", "check-calendar", "choose-time", "paste-choice"}) {
        harness.tickStep(windowKey, step);
    }
    harness.setStatus(dnsKey, TaskStatus::waitingExternal);
    harness.tickStep(releaseKey, "review-diff");
    harness.tickStep(releaseKey, "approve");
    harness.setStatus(releaseKey, TaskStatus::readyToResume);
    harness.model().refresh();
    harness.settle();
}

void select(GuiHarness& harness, const std::string& key) {
    harness.model().updateTaskSelection({key});
    harness.settle();
}

void scrollDetailToEnd(GuiHarness& harness) {
    auto* scroll = harness.window().detailView()->findChild<QScrollArea*>();
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_screenshots OUTPUT_DIRECTORY\n");
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    if (!output.exists() && !QDir().mkpath(output.path())) return 1;
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    bool ok = true;

    AppAppearance::apply(application, AppAppearance::ColorScheme::light);
    {
        GuiHarness harness;
        harness.window().show();
        harness.settle();
        ok &= save(harness.window(), output, QStringLiteral("empty-store.png"));

        seed(harness);
        select(harness, pushKey);
        ok &= save(harness.window(), output, QStringLiteral("attention-list.png"));

        harness.model().setNote(windowKey,
                                QStringLiteral("选择今晚 22:30 开始迁移；值班日历上没有冲突。"));
        select(harness, windowKey);
        ok &= save(harness.window(), output, QStringLiteral("codex-detail.png"));
        scrollDetailToEnd(harness);
        ok &= save(harness.window(), output, QStringLiteral("codex-detail-handback.png"));

        harness.model().setSelection(SidebarSelection::history());
        harness.settle();
        ok &= save(harness.window(), output, QStringLiteral("history.png"));

        // The two kinds of alert, as the program shows them.
        const auto notice = kestrin::QtViewDialogs::noticeBox(
            &harness.window(), QStringLiteral("收件箱处理完成"),
            QStringLiteral("rc-0001.json：已导入，新增 3 个事项。\nbad.json：已拒收，回执 JSON "
                           "无法解析：第 1 行附近缺少右括号。"));
        notice->show();
        ok &= save(*notice, output, QStringLiteral("notice.png"));
        const auto confirmation = kestrin::QtViewDialogs::confirmationBox(
            &harness.window(),
            {QStringLiteral("永久删除 2 个事项？"),
             QStringLiteral(
                 "这些任务将从当前任务列表移除，无法通过“已取消”恢复；对应回执仍会保留在“回执"
                 "历史”中。删除前请确认选中数量正确。"),
             QStringLiteral("永久删除 2 项"), QStringLiteral("取消")});
        confirmation->show();
        ok &= save(*confirmation, output, QStringLiteral("delete-confirmation.png"));
    }

    // The palette is read when the views are built: a new window for the dark one.
    AppAppearance::apply(application, AppAppearance::ColorScheme::dark);
    {
        GuiHarness harness;
        harness.window().show();
        seed(harness);
        select(harness, grantKey);
        ok &= save(harness.window(), output, QStringLiteral("dark-appearance.png"));
    }
    return ok ? 0 : 1;
}
