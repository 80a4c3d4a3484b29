// Renders the window's main states to PNG files, so that anyone can look at
// the app without running it: scripts/screenshots runs this under Xvfb.
//   velmora_screenshots OUTPUT_DIRECTORY
#include <QApplication>
#include <QDir>
#include <QListView>
#include <QLocale>
#include <QScrollArea>
#include <QScrollBar>
#include <cstdio>

#include "app/AppAppearance.h"
#include "app/TaskDetailView.h"
#include "gui/GuiHarness.h"

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
